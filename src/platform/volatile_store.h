// Binary values in a volatile registry key of HKEY_LOCAL_MACHINE: the system keeps such a key
// in memory only and forgets it at the next start.
#pragma once

#include <cstdint>
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

// A value of another type than REG_BINARY (ERROR_INVALID_DATATYPE).
inline constexpr ErrorCode kErrorInvalidDatatype = 1804;

// Both functions return the registry's error code, kErrorSuccess (0) when the call succeeded.
// Any thread may call.
class VolatileStore {
 public:
  virtual ~VolatileStore() = default;

  // The data of the REG_BINARY value into *data. kErrorFileNotFound when the key or the value
  // is absent, kErrorInvalidDatatype for a value of another type.
  [[nodiscard]] virtual ErrorCode Read(const VolatileValue& value,
                                       std::vector<std::uint8_t>* data) = 0;
  // Stores the data as REG_BINARY, creating the key with REG_OPTION_VOLATILE when it is
  // missing. The parent is never created: kErrorFileNotFound when it is absent.
  [[nodiscard]] virtual ErrorCode Write(const VolatileValue& value,
                                        std::span<const std::uint8_t> data) = 0;
};

}  // namespace calvera::platform
