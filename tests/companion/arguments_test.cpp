#include "companion/arguments.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace calvera::companion {
namespace {

using Strings = std::vector<std::u16string>;

TEST(ArgumentsTest, TheCommandLineSplitsAsTheRuntimeSplitsIt) {
  struct Case {
    std::u16string_view line;
    Strings arguments;
  } cases[] = {
      {u"CalveraDefrag.exe 100", {u"100"}},
      {u"\"C:\\Program Files\\Calvera\\CalveraDefrag.exe\" 1024", {u"1024"}},
      {u"\"C:\\Program Files\\Calvera\\CalveraDefrag.exe\"", {}},
      {u"CalveraDefrag.exe", {}},
      {u"CalveraDefrag.exe   \t 5  ", {u"5"}},
      {u"CalveraDefrag.exe 1 2", {u"1", u"2"}},
      {u"CalveraDefrag.exe \"12\"", {u"12"}},
      {u"CalveraDefrag.exe \"1 2\"", {u"1 2"}},
      {u"CalveraDefrag.exe \"\"", {u""}},
      {u"CalveraDefrag.exe a\\\\\"b c\"", {u"a\\b c"}},  // 2n backslashes: n and a quote part
      {u"CalveraDefrag.exe a\\\"b", {u"a\"b"}},          // 2n+1: n and a literal quote
      {u"CalveraDefrag.exe a\\\\b", {u"a\\\\b"}},        // backslashes before no quote stay
      {u"CalveraDefrag.exe \"a\"\"b\"", {u"a\"b"}},      // "" in a quoted part
      {u"CalveraDefrag.exe \"open", {u"open"}},
      {u"CalveraDefrag.exe x\\", {u"x\\"}},
      {u"", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SplitArguments(c.line), c.arguments) << ToUtf8(c.line);
}

TEST(ArgumentsTest, ExactlyOneDecimalIntegerWithin32BitsIsARequest) {
  using Kind = Request::Kind;
  struct Case {
    Strings arguments;
    Kind kind;
    std::int32_t megabytes;
  } cases[] = {
      {{u"1"}, Kind::kMegabytes, 1},
      {{u"512"}, Kind::kMegabytes, 512},
      {{u"1024"}, Kind::kMegabytes, 1024},
      {{u"1025"}, Kind::kMegabytes, 1024},
      {{u"2147483647"}, Kind::kMegabytes, 1024},
      {{u"+7"}, Kind::kMegabytes, 7},
      {{u"007"}, Kind::kMegabytes, 7},
      {{u"0"}, Kind::kNothing, 0},
      {{u"-0"}, Kind::kNothing, 0},
      {{u"-1"}, Kind::kNothing, 0},
      {{u"-2147483648"}, Kind::kNothing, 0},
      {{}, Kind::kBad, 0},
      {{u"1", u"2"}, Kind::kBad, 0},
      {{u""}, Kind::kBad, 0},
      {{u"-"}, Kind::kBad, 0},
      {{u"+"}, Kind::kBad, 0},
      {{u"12a"}, Kind::kBad, 0},
      {{u" 12"}, Kind::kBad, 0},
      {{u"1.5"}, Kind::kBad, 0},
      {{u"0x10"}, Kind::kBad, 0},
      {{u"--1"}, Kind::kBad, 0},
      {{u"\xFF11"}, Kind::kBad, 0},  // a full-width digit is not a decimal digit here
      {{u"2147483648"}, Kind::kBad, 0},
      {{u"-2147483649"}, Kind::kBad, 0},
      {{u"99999999999999999999999999"}, Kind::kBad, 0},
  };
  for (const Case& c : cases) {
    const Request request = ParseRequest(c.arguments);
    const std::string shown = c.arguments.empty() ? "(none)" : ToUtf8(c.arguments.front());
    EXPECT_EQ(request.kind, c.kind) << shown;
    EXPECT_EQ(request.megabytes, c.megabytes) << shown;
  }
}

}  // namespace
}  // namespace calvera::companion
