#include "config/caption_text.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/text.h"

namespace calvera::config {
namespace {

using namespace std::literals;

std::vector<std::byte> Bytes(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
  return {data, data + bytes.size()};
}

// Stands in for the ANSI code page, and shows which bytes reached it.
std::u16string AnsiMarker(std::span<const std::byte> bytes) {
  return u"ansi:" + ToDecimal(static_cast<std::int64_t>(bytes.size()));
}

TEST(CaptionTextTest, TheFirstBytesChooseTheEncodingAndTheMarkIsDropped) {
  struct Case {
    std::string_view bytes;
    std::u16string text;
  } cases[] = {
      {"\xEF\xBB\xBF"
       "Caf\xC3\xA9 \xEC\x84\x9C",
       u"Café 서"},
      {"\xFF\xFE"
       "C\0\xE9\0\x1C\xC1"sv,
       u"Cé서"},
      {"\xFE\xFF"
       "\0C\0\xE9\xC1\x1C"sv,
       u"Cé서"},
      {"\xFF\xFE\x3D\xD8\x00\xDE"sv, u"\U0001F600"},  // a surrogate pair stays a pair
      {"\xFF\xFE", u""},
      {"\xFE\xFF", u""},
      {"\xEF\xBB\xBF", u""},
      // No complete mark: the whole bytes are ANSI text.
      {"Caf\xE9", u"ansi:4"},
      {"\xEF\xBB", u"ansi:2"},
      {"\xFF", u"ansi:1"},
      {"\xFE", u"ansi:1"},
      {"\xBB\xEF\xBF", u"ansi:3"},
      {"", u"ansi:0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeCaptionTable(Bytes(c.bytes), AnsiMarker), c.text) << ToUtf8(c.text);
  }
}

TEST(CaptionTextTest, BrokenBytesDecodeToReplacementCharactersWithinTheTable) {
  struct Case {
    std::string_view bytes;
    std::u16string text;
  } cases[] = {
      {"\xFF\xFE"
       "A\0B"sv,
       u"A\xFFFD"},  // half a code unit at the end
      {"\xFE\xFF"
       "\0A\0"sv,
       u"A\xFFFD"},
      {"\xFF\xFE\x00"sv, u"\xFFFD"},
      {"\xEF\xBB\xBF"
       "a\xFF"
       "b",
       u"a\xFFFD"
       u"b"},
      {"\xEF\xBB\xBF"
       "a\xC3",
       u"a\xFFFD"},  // cut off in the middle of a sequence
      {"\xEF\xBB\xBF"
       "\xE3\x41",
       u"\xFFFD"
       u"A"},
  };
  for (const auto& c : cases) {
    // Decoding from a copy of exactly the right size lets the sanitizers see any overread.
    const std::vector<std::byte> bytes = Bytes(c.bytes);
    EXPECT_EQ(DecodeCaptionTable(bytes, AnsiMarker), c.text) << ToUtf8(c.text);
  }
}

TEST(CaptionTextTest, LinesEndAtCrLfOrCrLfAndTheTextEndsAtNul) {
  using Lines = std::vector<std::u16string_view>;
  struct Case {
    std::u16string_view text;
    Lines lines;
  } cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\r\n", {u"a"}},
      {u"a\r", {u"a"}},
      {u"a\n", {u"a"}},
      {u"a\r\nb", {u"a", u"b"}},
      {u"a\rb\nc", {u"a", u"b", u"c"}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"a\r\r\nb", {u"a", u"", u"b"}},
      {u"a\n\n", {u"a", u""}},
      {u"\r\n", {u""}},
      {u"\r\n\r\n", {u"", u""}},
      {u"a\0b\r\nc"sv, {u"a"}},
      {u"\0a\r\nb"sv, {}},
      {u"a\r\n\0b"sv, {u"a"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCaptionLines(c.text), c.lines) << ToUtf8(c.text);
  }
}

TEST(CaptionTextTest, FieldsSplitAtCommasAndBlanksWithQuotedFieldsKeepingBoth) {
  using Fields = std::vector<std::u16string>;
  struct Case {
    std::u16string_view line;
    Fields fields;
  } cases[] = {
      {u"Calvera, DisplayName, \"Calvera Memory Service\"",
       {u"Calvera", u"DisplayName", u"Calvera Memory Service"}},
      {u"Calvera, DisplayName, Calvera Memory Service",
       {u"Calvera", u"DisplayName", u"Calvera", u"Memory", u"Service"}},
      {u"Calvera,Description,\"a, b\"", {u"Calvera", u"Description", u"a, b"}},
      // Empty fields.
      {u"a,,b", {u"a", u"", u"b"}},
      {u"a, \t ,b", {u"a", u"", u"b"}},
      {u",a", {u"", u"a"}},
      {u",", {u"", u""}},
      {u"a,", {u"a", u""}},
      {u"a, ", {u"a"}},  // the comma is not the last character of the line
      {u"a, \"\"", {u"a", u""}},
      // Quotes.
      {u"\"say \"\"hi\"\", ok\"", {u"say \"hi\", ok"}},
      {u"\"\"\"\"", {u"\""}},
      {u"\"a\"\"\"", {u"a\""}},
      {u"\"a\"\"", {u"a\""}},
      {u"\"unclosed, text ", {u"unclosed, text "}},
      {u"\"a\" , b", {u"a", u"b"}},
      {u"a,\"b,c\"", {u"a", u"b,c"}},
      {u"a\"b c", {u"a\"b", u"c"}},  // a quote inside an unquoted field is text
      // A field may begin without a delimiter.
      {u"\"a\"b", {u"a", u"b"}},
      {u"\"a\" \"b\"", {u"a", u"b"}},
      {u"a\tb", {u"a", u"b"}},
      // Blanks are U+0001..U+0020 and nothing else.
      {u"  lead", {u"lead"}},
      {u"   ", {}},
      {u"\x01\x1F\x20", {}},
      {u"a\x01"
       u"b",
       {u"a", u"b"}},
      {u"a\u00A0b\u3000c", {u"a\u00A0b\u3000c"}},
      {u"\x7F", {u"\x7F"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCaptionFields(c.line), c.fields) << ToUtf8(c.line);
  }
}

TEST(CaptionTextTest, AsciiLowerLeavesEverythingOutsideAToZ) {
  EXPECT_EQ(AsciiLower(u"FRENCH French@[`{"), u"french french@[`{");
  const std::u16string outside = FromUtf8("ÉÀÇ ДЖ İ \u212A");  // U+212A is the Kelvin sign
  EXPECT_EQ(AsciiLower(outside), outside);
}

TEST(CaptionTextTest, TheLastMatchingRowWinsAndAMissingFieldEndsTheScan) {
  const std::u16string a = u"Calvera, DisplayName, \"A\"\r\n";
  const std::u16string b = u"Calvera, DisplayName, \"B\"";
  struct Case {
    const char* what;
    std::u16string table;
    std::u16string caption;
  } cases[] = {
      {"no lines", u"", u""},
      {"one row", b, u"B"},
      {"last match wins", a + b, u"B"},
      {"an empty caption still wins", a + u"Calvera, DisplayName, \"\"", u""},
      {"a trailing comma gives an empty caption", a + u"Calvera, DisplayName,", u""},
      {"fields after the third are ignored", u"Calvera, DisplayName, \"A\", \"B\"", u"A"},
      {"an unquoted caption keeps its first word", u"Calvera, DisplayName, Calvera Memory Service",
       u"Calvera"},
      {"empty lines are passed over", u"\r\n\r\n" + a + u"\r\n" + b, u"B"},
      {"other forms and controls are passed over",
       u"Main, DisplayName, \"X\"\r\nCalvera, Description, \"Y\"\r\nCalvera2, DisplayName, "
       u"\"Z\"\r\n" +
           a,
       u"A"},
      {"a one-field row of another form is passed over", u"Main\r\n" + a, u"A"},
      {"a two-field row of another control is passed over", u"Calvera, Description\r\n" + a, u"A"},
      {"a two-field row after the match ends the scan", a + u"Calvera, DisplayName\r\n" + b, u"A"},
      {"a two-field row before the match ends the scan", u"Calvera, DisplayName\r\n" + a + b, u""},
      {"a one-field row of the form ends the scan", a + u"Calvera\r\n" + b, u"A"},
      {"a line of blanks ends the scan", a + u" \t \r\n" + b, u"A"},
      {"a line of blanks before any match", u"\x01\r\n" + a, u""},
      {"a blank after the last comma is not an empty field", a + u"Calvera, DisplayName, \r\n" + b,
       u"A"},
      {"a NUL ends the table", a + u'\0' + b, u"A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindCaption(c.table, u"Calvera", u"DisplayName"), c.caption) << c.what;
  }
}

TEST(CaptionTextTest, NamesMatchInAsciiCaseOnly) {
  const std::u16string table = u"Calvera, DisplayName, \"A\"\r\n" +
                               FromUtf8("Émile, Étiquette, \"É\"\r\nKey, Kelvin, \"K\"");
  struct Case {
    std::u16string form;
    std::u16string control;
    std::u16string caption;
  } cases[] = {
      {u"CALVERA", u"displayname", u"A"},
      {u"cAlVeRa", u"DISPLAYNAME", u"A"},
      {u"Calvera ", u"DisplayName", u""},
      {u"Calvera", u"Display", u""},
      {u"", u"", u""},
      {FromUtf8("Émile"), FromUtf8("Étiquette"), FromUtf8("É")},
      {FromUtf8("ÉMILE"), FromUtf8("ÉTIQUETTE"), FromUtf8("É")},
      {FromUtf8("émile"), FromUtf8("Étiquette"), u""},
      {FromUtf8("Émile"), FromUtf8("étiquette"), u""},
      {u"KEY", u"kelvin", u"K"},
      {FromUtf8("\u212Aey"), u"Kelvin", u""},  // the Kelvin sign is not K
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindCaption(table, c.form, c.control), c.caption)
        << ToUtf8(c.form) << " / " << ToUtf8(c.control);
  }
}

}  // namespace
}  // namespace calvera::config
