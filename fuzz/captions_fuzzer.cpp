// The caption tables under arbitrary bytes: a table of any content, looked up with any form and
// control names, through decoding, line splitting, field splitting and LookupCaption. Checks
// the text rules of each step against properties that hold for every input, and the lookup
// against what its rows say.
//
// Input, front to back (missing bytes read as 0 or empty):
//   options 1 byte   bit 0 ANSI code page 1251 (else 1252), bits 1-3 the Language setting
//                    (one of kLanguages), bit 4 the appended row has a fourth field, bit 5 it
//                    writes simple names without quotes
//   length  1 byte   then the form name, UTF-8
//   length  1 byte   then the control name, UTF-8
//   rest             the table's bytes, stored as the english table
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/caption_text.h"
#include "config/captions.h"
#include "config/stored_settings.h"
#include "fake/fake_platform.h"
#include "fuzz_support.h"

namespace calvera::fuzz {
namespace {

using config::FindCaption;
using config::LookupCaption;
using config::SplitCaptionFields;
using config::SplitCaptionLines;

// The Language setting as another program may have left it; all but one lead to the english
// table.
struct Language {
  std::uint32_t type;
  std::u16string text;  // stored with a terminating NUL
  bool present;
  bool usesEnglish;
};
const Language kLanguages[] = {
    {platform::kRegSz, u"", false, true},
    {platform::kRegSz, u"english", true, true},
    {platform::kRegSz, u"ENGLISH", true, true},
    {platform::kRegExpandSz, u"English", true, true},
    {platform::kRegSz, u"", true, true},           // empty: the default
    {platform::kRegDword, u"\x0001", true, true},  // wrong type: the default
    {platform::kRegSz, u"klingon", true, false},   // no such table
    {platform::kRegSz, std::u16string(u"english\0french", 14), true, true},  // read up to the NUL
};

bool IsBlank(char16_t c) {
  return c >= 0x0001 && c <= 0x0020;
}

bool IsLineBreakOrNul(char16_t c) {
  return c == u'\r' || c == u'\n' || c == u'\0';
}

// The fuzzer's own case mapping, so that the lookup's is checked rather than trusted.
std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  return upper;
}

std::u16string AsciiLower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
  }
  return lower;
}

// Well-formed UTF-8 as Unicode defines it: no overlong forms, no surrogates, nothing past
// U+10FFFF, no truncated sequence.
bool IsWellFormedUtf8(std::span<const std::byte> bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = std::to_integer<std::uint8_t>(bytes[i]);
    std::size_t trail = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
    } else if (lead == 0xE0) {
      trail = 2, low = 0xA0;
    } else if (lead == 0xED) {
      trail = 2, high = 0x9F;
    } else if (lead >= 0xE1 && lead <= 0xEF) {
      trail = 2;
    } else if (lead == 0xF0) {
      trail = 3, low = 0x90;
    } else if (lead == 0xF4) {
      trail = 3, high = 0x8F;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
      trail = 3;
    } else {
      return false;
    }
    if (bytes.size() - i <= trail) {
      return false;
    }
    for (std::size_t k = 1; k <= trail; ++k) {
      const auto next = std::to_integer<std::uint8_t>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
        return false;
      }
    }
    i += trail + 1;
  }
  return true;
}

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

bool StartsWith(std::span<const std::byte> bytes, std::string_view mark) {
  return bytes.size() >= mark.size() &&
         std::string_view(reinterpret_cast<const char*>(bytes.data()), mark.size()) == mark;
}

// The byte-order marks choose the decoding; everything else is the ANSI code page's.
void CheckDecoding(std::span<const std::byte> bytes, fake::FakeResources& resources) {
  std::vector<std::span<const std::byte>> ansiCalls;
  const std::u16string text =
      config::DecodeCaptionTable(bytes, [&](std::span<const std::byte> ansi) {
        ansiCalls.push_back(ansi);
        return resources.DecodeAnsi(ansi);
      });
  if (StartsWith(bytes, "\xEF\xBB\xBF")) {
    CALVERA_FUZZ_CHECK(ansiCalls.empty(), "UTF-8 went to the ANSI decoder");
    const auto utf8 = bytes.subspan(3);
    const std::string_view raw(reinterpret_cast<const char*>(utf8.data()), utf8.size());
    CALVERA_FUZZ_CHECK(text.size() <= raw.size(), Show(text));
    // An invalid sequence becomes U+FFFD and never swallows or invents a character: ASCII bytes
    // come out as themselves, in order, and nothing else decodes to ASCII (an overlong NUL
    // would end the table early).
    std::string asciiIn;
    std::u16string asciiOut;
    for (const char c : raw) {
      if (static_cast<unsigned char>(c) < 0x80) {
        asciiIn.push_back(c);
      }
    }
    for (const char16_t c : text) {
      if (c < 0x80) {
        asciiOut.push_back(c);
      }
    }
    CALVERA_FUZZ_CHECK(asciiOut == FromAscii(asciiIn), "UTF-8 decoded to " + Show(text));
    CALVERA_FUZZ_CHECK(!HasUnpairedSurrogate(text), "UTF-8 decoded to " + Show(text));
    if (IsWellFormedUtf8(utf8)) {
      CALVERA_FUZZ_CHECK(ToUtf8(text) == raw, "UTF-8 decoded to " + Show(text));
    } else {
      CALVERA_FUZZ_CHECK(text.find(u'\xFFFD') != std::u16string::npos,
                         "invalid UTF-8 decoded to " + Show(text));
    }
  } else if (StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF")) {
    CALVERA_FUZZ_CHECK(ansiCalls.empty(), "UTF-16 went to the ANSI decoder");
    const bool bigEndian = StartsWith(bytes, "\xFE\xFF");
    const auto units = bytes.subspan(2);
    CALVERA_FUZZ_CHECK(text.size() == (units.size() + 1) / 2, Show(text));
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto first = std::to_integer<unsigned>(units[2 * i]);
      const unsigned second = 2 * i + 1 < units.size() ? std::to_integer<unsigned>(units[2 * i + 1])
                                                       : 0x100;  // half a code unit
      const auto expected = static_cast<char16_t>(
          second == 0x100 ? 0xFFFD : (bigEndian ? first << 8 | second : second << 8 | first));
      CALVERA_FUZZ_CHECK(text[i] == expected,
                         "code unit " + std::to_string(i) + " of " + Show(text));
    }
  } else {
    CALVERA_FUZZ_CHECK(ansiCalls.size() == 1, "the ANSI decoder was not asked exactly once");
    CALVERA_FUZZ_CHECK(ansiCalls[0].size() == bytes.size() &&
                           std::equal(bytes.begin(), bytes.end(), ansiCalls[0].begin()),
                       "the ANSI decoder did not get the whole table");
    CALVERA_FUZZ_CHECK(text == resources.DecodeAnsi(bytes), Show(text));
  }
}

// The lines cover the text before its first NUL exactly: each ends at one line end (CR, LF or
// CR LF taken together), and only one line end may follow the last line.
void CheckLines(std::u16string_view text, const std::vector<std::u16string_view>& lines) {
  const std::u16string_view content = text.substr(0, text.find(u'\0'));
  const auto lineEndAt = [&](std::size_t at) -> std::size_t {
    if (at < content.size() && content[at] == u'\r') {
      return at + 1 < content.size() && content[at + 1] == u'\n' ? 2 : 1;
    }
    return at < content.size() && content[at] == u'\n' ? 1 : 0;
  };
  std::size_t at = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::u16string_view line = lines[i];
    const std::string where = "line " + std::to_string(i) + " of " + Show(content);
    CALVERA_FUZZ_CHECK(line.data() == content.data() + at, where);
    CALVERA_FUZZ_CHECK(line.size() <= content.size() - at, where);
    for (const char16_t c : line) {
      CALVERA_FUZZ_CHECK(!IsLineBreakOrNul(c), where);
    }
    at += line.size();
    const std::size_t lineEnd = lineEndAt(at);
    CALVERA_FUZZ_CHECK(lineEnd != 0 || at == content.size(), where);
    CALVERA_FUZZ_CHECK(lineEnd != 0 || i + 1 == lines.size(), where);
    at += lineEnd;
  }
  CALVERA_FUZZ_CHECK(at == content.size(), "text left after the last line of " + Show(content));
}

// The fields of a line without double quotes, straight from the rules: the commas cut the line
// into pieces; each piece gives its words (runs of non-blanks), or one empty field when it has
// none, except that a last piece of blanks gives nothing, and so does a line of blanks.
std::vector<std::u16string> UnquotedFields(std::u16string_view line) {
  std::vector<std::u16string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t comma = line.find(u',', start);
    pieces.push_back(line.substr(start, comma == line.npos ? line.npos : comma - start));
    if (comma == line.npos) {
      break;
    }
    start = comma + 1;
  }
  std::vector<std::u16string> fields;
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    const std::u16string_view piece = pieces[p];
    bool hasWord = false;
    for (std::size_t i = 0; i < piece.size();) {
      if (IsBlank(piece[i])) {
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < piece.size() && !IsBlank(piece[end])) {
        ++end;
      }
      fields.emplace_back(piece.substr(i, end - i));
      hasWord = true;
      i = end;
    }
    const bool last = p + 1 == pieces.size();
    if (!hasWord && !(last && (!piece.empty() || pieces.size() == 1))) {
      fields.emplace_back();
    }
  }
  return fields;
}

std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"\"";
  for (const char16_t c : text) {
    quoted += c == u'"' ? u"\"\"" : std::u16string(1, c);
  }
  return quoted + u"\"";
}

std::u16string QuotedRow(const std::vector<std::u16string>& fields) {
  std::u16string row;
  for (const auto& field : fields) {
    row += (row.empty() ? u"" : u", ") + Quoted(field);
  }
  return row;
}

void CheckFields(std::u16string_view line, const std::vector<std::u16string>& fields) {
  const std::string where = "fields of " + Show(line);
  bool allBlank = true;
  for (const char16_t c : line) {
    allBlank = allBlank && IsBlank(c);
  }
  CALVERA_FUZZ_CHECK(fields.empty() == allBlank, where);
  // Every field is made of the line's own characters, a doubled quote giving one.
  std::size_t total = 0;
  for (const auto& field : fields) {
    total += field.size();
  }
  CALVERA_FUZZ_CHECK(total <= line.size(), where);
  if (line.find(u'"') == line.npos) {
    CALVERA_FUZZ_CHECK(fields == UnquotedFields(line), where);
  }
  // Any fields written in quotes, separated by commas, read back as themselves.
  if (!fields.empty()) {
    CALVERA_FUZZ_CHECK(SplitCaptionFields(QuotedRow(fields)) == fields, where);
  }
}

bool SameInAsciiCase(std::u16string_view a, std::u16string_view b) {
  return AsciiLower(a) == AsciiLower(b);
}

bool CanAppearInARow(std::u16string_view name) {
  for (const char16_t c : name) {
    if (IsLineBreakOrNul(c)) {
      return false;
    }
  }
  return true;
}

// A name that reads back as itself without quotes.
bool IsSimple(std::u16string_view name) {
  if (name.empty() || name[0] == u'"') {
    return false;
  }
  for (const char16_t c : name) {
    if (IsBlank(c) || c == u',' || IsLineBreakOrNul(c)) {
      return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace calvera::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace calvera;
  using namespace calvera::fuzz;
  InputReader input(data, size);
  const std::uint8_t options = input.Byte();
  const auto nameOf = [&](std::span<const std::uint8_t> bytes) {
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  };
  const std::u16string form = nameOf(input.Take(input.Byte()));
  const std::u16string control = nameOf(input.Take(input.Byte()));
  const auto tableBytes = input.Rest();
  const std::span<const std::byte> table(reinterpret_cast<const std::byte*>(tableBytes.data()),
                                         tableBytes.size());
  const Language& language = kLanguages[(options >> 1) & 0x07];

  fake::FakePlatform fake;
  fake.resources.SetAnsiCodePage((options & 0x01) != 0 ? 1251 : 1252);
  fake.resources.SetRcData(
      u"english", std::string_view(reinterpret_cast<const char*>(table.data()), table.size()));
  if (language.present) {
    std::vector<std::uint8_t> stored;
    for (const char16_t c : language.text + u'\0') {
      stored.push_back(static_cast<std::uint8_t>(c & 0xFF));
      stored.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (language.type == platform::kRegDword) {
      stored.resize(4);
    }
    fake.registry.SetRaw(platform::RegistryRoot::kLocalMachine, config::StoredSettingsPath(false),
                         u"Language", language.type, stored);
  }

  CheckDecoding(table, fake.resources);
  const std::u16string decoded = config::DecodeCaptionTable(
      table, [&](std::span<const std::byte> ansi) { return fake.resources.DecodeAnsi(ansi); });
  const std::u16string text = decoded.substr(0, decoded.find(u'\0'));
  const auto lines = SplitCaptionLines(decoded);
  CheckLines(decoded, lines);

  // Walks every row: checks its fields, finds the rows that match both names, and whether any
  // line would end the lookup (a line of blanks, or a matching row short of the next field).
  bool captionFromSomeRow = false;
  bool endsTheLookup = false;
  const std::u16string caption = LookupCaption(fake.platform, form, control);
  for (const auto line : lines) {
    const auto fields = SplitCaptionFields(line);
    CheckFields(line, fields);
    if (line.empty()) {
      continue;
    }
    if (fields.empty()) {
      endsTheLookup = true;
    } else if (SameInAsciiCase(fields[0], form)) {
      if (fields.size() < 2 || (SameInAsciiCase(fields[1], control) && fields.size() < 3)) {
        endsTheLookup = true;
      } else if (SameInAsciiCase(fields[1], control) && fields[2] == caption) {
        captionFromSomeRow = true;
      }
    }
  }

  const std::string what = "form " + Show(form) + ", control " + Show(control) + ", table " +
                           Show(text) + ", caption " + Show(caption);
  CALVERA_FUZZ_CHECK(fake.registry.OpenHandleCount() == 0, what);
  if (!language.usesEnglish) {
    CALVERA_FUZZ_CHECK(caption.empty(), what);
    return 0;
  }
  CALVERA_FUZZ_CHECK(caption == FindCaption(decoded, form, control), what);
  CALVERA_FUZZ_CHECK(caption.empty() || captionFromSomeRow, what);
  if (!CanAppearInARow(form) || !CanAppearInARow(control)) {
    CALVERA_FUZZ_CHECK(caption.empty(), what);
    return 0;
  }
  // The names match without regard to ASCII case.
  CALVERA_FUZZ_CHECK(LookupCaption(fake.platform, AsciiUpper(form), AsciiLower(control)) == caption,
                     what);
  CALVERA_FUZZ_CHECK(fake.registry.OpenHandleCount() == 0, what);
  // A line of blanks first ends the lookup before any row.
  CALVERA_FUZZ_CHECK(FindCaption(u" \t\r\n" + text, form, control).empty(), what);
  // A matching row appended wins over every earlier one, unless the lookup ends before it.
  const std::u16string added = u"Added, \"caption\"\" with\", quotes";
  const bool unquoted = (options & 0x20) != 0 && IsSimple(form) && IsSimple(control);
  std::u16string row =
      unquoted ? form + u", " + control + u", " + Quoted(added) : QuotedRow({form, control, added});
  if ((options & 0x10) != 0) {
    row += u", \"a fourth field\"";
  }
  const std::u16string withRow = FindCaption(text + u"\r\n" + row, form, control);
  CALVERA_FUZZ_CHECK(withRow == (endsTheLookup ? caption : added),
                     what + "\nwith the row " + Show(row) + " appended: " + Show(withRow));
  return 0;
}
