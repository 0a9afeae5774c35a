// The registry through advapi32. Any thread may call.
#pragma once

#include "platform/registry.h"

namespace calvera::platform {

class Win32Registry final : public Registry {
 public:
  ErrorCode OpenKey(RegistryRoot root,
                    const char16_t* subKey,
                    std::uint32_t access,
                    RegistryKeyHandle* key) override;
  ErrorCode CreateKey(RegistryRoot root,
                      const char16_t* subKey,
                      std::uint32_t access,
                      RegistryKeyHandle* key) override;
  ErrorCode QueryValue(RegistryKeyHandle key,
                       const char16_t* name,
                       std::uint32_t* type,
                       void* data,
                       std::uint32_t* size) override;
  ErrorCode SetValue(RegistryKeyHandle key,
                     const char16_t* name,
                     std::uint32_t type,
                     const void* data,
                     std::uint32_t size) override;
  // Deletes in the registry view that the KEY_WOW64_* bits of `access` select.
  ErrorCode DeleteTree(RegistryRoot root, const char16_t* subKey, std::uint32_t access) override;
  void CloseKey(RegistryKeyHandle key) override;
};

}  // namespace calvera::platform
