// Binary values in a volatile registry key of HKEY_LOCAL_MACHINE: the system keeps such a key
// in memory only and forgets it at the next start. Any thread may call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/types.h"

namespace calvera::platform {

// Where a value lives: the volatile key `keyName` directly below the existing key
// `parentKeyPath` (below HKEY_LOCAL_MACHINE, no leading backslash).
struct VolatileValue {
  const char16_t* parentKeyPath;
  const char16_t* keyName;
  const char16_t* valueName;
};

class VolatileStore {
 public:
  virtual ~VolatileStore() = default;

  // The data of the REG_BINARY value; nullopt when the key or the value is absent, of another
  // type or cannot be read.
  virtual std::optional<std::vector<std::uint8_t>> Read(const VolatileValue& value) = 0;
  // Stores the data as REG_BINARY, creating the key with REG_OPTION_VOLATILE when it is
  // missing. The parent is never created: kErrorFileNotFound when it is absent. 0 or the error.
  virtual ErrorCode Write(const VolatileValue& value, std::span<const std::uint8_t> data) = 0;
};

}  // namespace calvera::platform
