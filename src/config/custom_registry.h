// The settings store: the system's only access to the registry. Six one-shot operations;
// each opens its key, does one value operation and closes the key. No failure ever leaves
// them: a read that cannot deliver the stored value delivers `fallback`, and a write that
// cannot be done does nothing. Below them, the two value readings through a key the caller
// holds open (the policy key reads several values through one handle). Any thread may call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace calvera::config {

enum class AccessKind { kRead, kWrite };

// The access rights a key is opened with. A 64-bit process that asks for the default
// (32-bit) view adds KEY_WOW64_32KEY, so that the 32-bit and 64-bit builds share one set of
// values with the 32-bit desktop application.
std::uint32_t RegistryAccessRights(AccessKind kind, bool use64BitView, bool processIs64Bit);

// One reading of a string value through an open key ({} reads as a missing key): its text up to
// the first NUL; empty when the value is absent or has no data; nullopt when it cannot be
// fetched or is not a REG_SZ or REG_EXPAND_SZ. Throws only what allocation throws.
std::optional<std::u16string> ReadStringValue(platform::Registry& registry,
                                              platform::RegistryKeyHandle key,
                                              const char16_t* valueName);

// A REG_DWORD of at most 4 bytes through an open key, as a signed number; nullopt when the key
// is {}, the value is missing, longer or of another type. Never throws.
std::optional<std::int32_t> ReadDwordValue(platform::Registry& registry,
                                           platform::RegistryKeyHandle key,
                                           const char16_t* valueName);

// The text up to its first NUL of a REG_SZ or REG_EXPAND_SZ value (not expanded); `fallback`
// when the value is absent, empty, of another type or unreadable.
std::u16string ReadRegistryString(platform::Registry& registry,
                                  platform::RegistryRoot root,
                                  const char16_t* keyPath,
                                  const char16_t* valueName,
                                  const std::u16string& fallback,
                                  bool use64BitView);

// A REG_DWORD of exactly 4 bytes as a signed number; `fallback` otherwise.
std::int32_t ReadRegistryInteger(platform::Registry& registry,
                                 platform::RegistryRoot root,
                                 const char16_t* keyPath,
                                 const char16_t* valueName,
                                 std::int32_t fallback,
                                 bool use64BitView);

// ReadRegistryInteger's value, true when not 0; `fallback` otherwise.
bool ReadRegistryBool(platform::Registry& registry,
                      platform::RegistryRoot root,
                      const char16_t* keyPath,
                      const char16_t* valueName,
                      bool fallback,
                      bool use64BitView);

// The strings of a REG_MULTI_SZ value, in order, up to the empty string that ends the list (a
// list whose final NULs are missing ends with its data); none when the value is absent, of
// another type or unreadable.
std::vector<std::u16string> ReadRegistryMultiString(platform::Registry& registry,
                                                    platform::RegistryRoot root,
                                                    const char16_t* keyPath,
                                                    const char16_t* valueName,
                                                    bool use64BitView);

// Stores REG_SZ with its terminating NUL, creating the key and every missing key above it.
void WriteRegistryString(platform::Registry& registry,
                         platform::RegistryRoot root,
                         const char16_t* keyPath,
                         const char16_t* valueName,
                         const std::u16string& value,
                         bool use64BitView);

// Stores REG_DWORD 1 or 0, creating keys as WriteRegistryString does.
void WriteRegistryBool(platform::Registry& registry,
                       platform::RegistryRoot root,
                       const char16_t* keyPath,
                       const char16_t* valueName,
                       bool value,
                       bool use64BitView);

}  // namespace calvera::config
