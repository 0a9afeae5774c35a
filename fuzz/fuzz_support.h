// What every fuzz target shares: reading its input piece by piece, and the check that turns a
// broken rule into a crash libFuzzer keeps. libFuzzer calls a target on one thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "platform/text.h"

// A broken rule: says which and where, then aborts, so libFuzzer saves the input as a crash.
#define CALVERA_FUZZ_CHECK(condition, detail)                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      ::calvera::fuzz::Fail(#condition, __FILE__, __LINE__, ::std::string(detail)); \
    }                                                                               \
  } while (false)

namespace calvera::fuzz {

[[noreturn]] inline void Fail(const char* rule,
                              const char* file,
                              int line,
                              const std::string& detail) {
  std::fprintf(stderr, "\nRULE BROKEN at %s:%d: %s\n%s\n", file, line, rule, detail.c_str());
  std::abort();
}

// Readable text of a UTF-16 string for a failure message, with its code units in hex, since
// the interesting ones are often invisible.
inline std::string Show(std::u16string_view text) {
  std::string shown = "\"" + ToUtf8(text) + "\" [";
  char unit[8];
  for (const char16_t c : text) {
    std::snprintf(unit, sizeof unit, " %04X", static_cast<unsigned>(c));
    shown += unit;
  }
  return shown + " ]";
}

// The input taken front to back; a piece asked for past the end is short or empty (zero for a
// number), so every input is a valid one.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

  std::uint8_t Byte() { return Take(1).empty() ? 0 : bytes_[position_ - 1]; }

  // Little-endian, as the registry stores numbers.
  std::uint32_t Uint32() {
    std::uint32_t value = 0;
    const auto bytes = Take(4);
    for (std::size_t i = bytes.size(); i > 0; --i) {
      value = (value << 8) | bytes[i - 1];
    }
    return value;
  }

  std::uint16_t Uint16() {
    const auto bytes = Take(2);
    return static_cast<std::uint16_t>((bytes.size() > 1 ? bytes[1] << 8 : 0) |
                                      (bytes.empty() ? 0 : bytes[0]));
  }

  std::span<const std::uint8_t> Take(std::size_t count) {
    const std::size_t taken = std::min(count, bytes_.size() - position_);
    const auto piece = bytes_.subspan(position_, taken);
    position_ += taken;
    return piece;
  }

  std::span<const std::uint8_t> Rest() { return Take(bytes_.size() - position_); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace calvera::fuzz
