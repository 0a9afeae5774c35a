#include "platform/text.h"

#include <gtest/gtest.h>

#include <limits>

namespace calvera {
namespace {

TEST(TextTest, DecimalTextHasNoLeadingZerosAndASignOnlyWhenNegative) {
  EXPECT_EQ(ToDecimal(0), u"0");
  EXPECT_EQ(ToDecimal(1024), u"1024");
  EXPECT_EQ(ToDecimal(-7), u"-7");
  EXPECT_EQ(ToDecimal(2147483648LL), u"2147483648");
  EXPECT_EQ(ToDecimal(std::numeric_limits<std::int64_t>::min()), u"-9223372036854775808");
}

TEST(TextTest, Utf8RoundTripsThroughUtf16) {
  const std::string text = "Calvera 서비스 Служба 😀";
  EXPECT_EQ(ToUtf8(FromUtf8(text)), text);
  const struct {
    const char* bytes;
    std::u16string text;
  } invalid[] = {
      {"\xff", u"\xFFFD"},
      {"\xc0\xac", u"\xFFFD"},          // an overlong comma
      {"\xc0\x80x", u"\xFFFDx"},        // an overlong NUL
      {"\xed\xa0\x80", u"\xFFFD"},      // an encoded surrogate
      {"\xf4\x90\x80\x80", u"\xFFFD"},  // past U+10FFFF
      {"\xe2\x82", u"\xFFFD\xFFFD"},
  };
  for (const auto& c : invalid)
    EXPECT_EQ(FromUtf8(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace calvera
