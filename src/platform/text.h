// Small text helpers for the system's UTF-16 strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace calvera {

// Decimal text of a signed number: a leading '-' when negative, no leading zeros.
std::u16string ToDecimal(std::int64_t value);

// Equal when they have the same length and their code units are equal after folding a-z to
// A-Z; any other letter matches only itself.
bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// UTF-16 from ASCII text (message formats and other literals of the system).
std::u16string FromAscii(std::string_view ascii);

// UTF-8 from UTF-16, for logs and test output; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-16 from UTF-8; invalid sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

}  // namespace calvera
