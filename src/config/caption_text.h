// The text rules of the caption tables: how a table's bytes decode, how its text splits into
// lines and a line into fields, and which row's caption a lookup yields. Pure functions of
// their arguments; any thread may call.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace calvera::config {

// Decodes 8-bit text without a byte-order mark (the system's ANSI code page).
using AnsiDecoder = std::function<std::u16string(std::span<const std::byte>)>;

// A table's text. The first bytes decide: EF BB BF is UTF-8, FF FE is UTF-16LE, FE FF is
// UTF-16BE (the mark is dropped); anything else goes to `decodeAnsi`. Invalid UTF-8 and a
// dangling odd byte of UTF-16 become U+FFFD.
std::u16string DecodeCaptionTable(std::span<const std::byte> bytes, const AnsiDecoder& decodeAnsi);

// The lines of a text, as views into it. A line ends at CR, LF or CR LF; a NUL ends the text;
// a line end at the very end adds no empty line, and an empty text has no lines.
std::vector<std::u16string_view> SplitCaptionLines(std::u16string_view text);

// The fields of one line. Blanks are U+0001..U+0020. A field in double quotes runs to the
// next quote not doubled (a doubled one stands for one quote), or to the end of the line; any
// other field ends before a blank or a comma. A comma that ends the line adds an empty field,
// and a field may follow another without a comma between them. A line of blanks has none.
std::vector<std::u16string> SplitCaptionFields(std::u16string_view line);

// A copy with A..Z lowered to a..z; every other code unit unchanged.
std::u16string AsciiLower(std::u16string_view text);

// The caption of the last row of `tableText` whose first two fields equal formName and
// controlName in ASCII case, empty if none. Empty lines are passed over; the scan stops at a
// line without fields, and at a row that matches so far but lacks the field to compare next.
std::u16string FindCaption(std::u16string_view tableText,
                           std::u16string_view formName,
                           std::u16string_view controlName);

}  // namespace calvera::config
