// Raw data resources of the executable, and the system's ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace calvera::platform {

// A failure gives nullopt or an empty text and no error code.
class Resources {
 public:
  virtual ~Resources() = default;

  // The bytes of the RCDATA resource of that name, language 1033, in the executable
  // (FindResourceExW, LoadResource, LockResource, SizeofResource). Names are matched
  // without regard to letter case. nullopt when there is none. The bytes live as long as
  // the process.
  virtual std::optional<std::span<const std::byte>> FindRcData(const char16_t* name) = 0;
  // MultiByteToWideChar with CP_ACP: 8-bit text in the system's ANSI code page.
  virtual std::u16string DecodeAnsi(std::span<const std::byte> bytes) = 0;
};

}  // namespace calvera::platform
