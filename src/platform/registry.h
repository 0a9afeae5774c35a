// The registry functions of advapi32, as thin as the settings store needs them.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace calvera::platform {

enum class RegistryRoot { kLocalMachine, kCurrentUser };

// HKEY of an open key; {} is none.
enum class RegistryKeyHandle : std::uintptr_t {};

// The data of a value does not fit the buffer given (ERROR_MORE_DATA).
inline constexpr ErrorCode kErrorMoreData = 234;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Without a KEY_WOW64_* right, a key opens in the view of the process's own bitness.
inline constexpr bool kProcessIs64Bit = sizeof(void*) == 8;

inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// Every function but the close returns the registry's own status, kErrorSuccess (0) when the
// call succeeded; an opened key comes back through the last parameter, which holds {} whenever
// the call failed. Names and key paths are NUL-terminated UTF-16. Any thread may call.
class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW with options 0: opens an existing key; never creates one.
  [[nodiscard]] virtual ErrorCode OpenKey(RegistryRoot root,
                                          const char16_t* subKey,
                                          std::uint32_t access,
                                          RegistryKeyHandle* key) = 0;
  // RegCreateKeyExW (REG_OPTION_NON_VOLATILE, no class, default security): opens the key,
  // creating it and every missing key above it.
  [[nodiscard]] virtual ErrorCode CreateKey(RegistryRoot root,
                                            const char16_t* subKey,
                                            std::uint32_t access,
                                            RegistryKeyHandle* key) = 0;
  // RegQueryValueExW. type, data and size may each be null; without data, *size receives the
  // data size. A buffer smaller than the data fails with kErrorMoreData.
  [[nodiscard]] virtual ErrorCode QueryValue(RegistryKeyHandle key,
                                             const char16_t* name,
                                             std::uint32_t* type,
                                             void* data,
                                             std::uint32_t* size) = 0;
  // RegSetValueExW: stores the value, replacing any value of that name.
  [[nodiscard]] virtual ErrorCode SetValue(RegistryKeyHandle key,
                                           const char16_t* name,
                                           std::uint32_t type,
                                           const void* data,
                                           std::uint32_t size) = 0;
  // RegDeleteKeyExW of one key below root together with its subkeys (RegDeleteTreeW), in the
  // view that `access` names; kErrorFileNotFound when the key does not exist. Removal deletes
  // the event sources' keys with it, and tests their scratch keys.
  [[nodiscard]] virtual ErrorCode DeleteTree(RegistryRoot root,
                                             const char16_t* subKey,
                                             std::uint32_t access) = 0;
  // RegCloseKey. Keeps the thread's last error as it was.
  virtual void CloseKey(RegistryKeyHandle key) = 0;
};

}  // namespace calvera::platform
