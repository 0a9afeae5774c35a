#include "platform/win32/win32_registry.h"

#include "platform/win32/win32_api.h"

namespace calvera::platform {
namespace {

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

HKEY KeyOf(RegistryKeyHandle key) {
  return ToNative<HKEY>(key);
}

// Leaves *key at 0 unless the call succeeded, whatever the API wrote into it.
ErrorCode Handed(LSTATUS status, HKEY opened, RegistryKeyHandle* key) {
  *key = status == ERROR_SUCCESS ? FromNative<RegistryKeyHandle>(opened) : RegistryKeyHandle{};
  return static_cast<ErrorCode>(status);
}

}  // namespace

ErrorCode Win32Registry::OpenKey(RegistryRoot root,
                                 const char16_t* subKey,
                                 std::uint32_t access,
                                 RegistryKeyHandle* key) {
  HKEY opened = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(RootKey(root), Wide(subKey), 0, access, &opened);
  return Handed(status, opened, key);
}

ErrorCode Win32Registry::CreateKey(RegistryRoot root,
                                   const char16_t* subKey,
                                   std::uint32_t access,
                                   RegistryKeyHandle* key) {
  HKEY opened = nullptr;
  const LSTATUS status =
      ::RegCreateKeyExW(RootKey(root), Wide(subKey), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                        nullptr, &opened, nullptr);
  return Handed(status, opened, key);
}

ErrorCode Win32Registry::QueryValue(RegistryKeyHandle key,
                                    const char16_t* name,
                                    std::uint32_t* type,
                                    void* data,
                                    std::uint32_t* size) {
  // Copied through DWORDs: unsigned long and std::uint32_t are distinct types.
  DWORD valueType = type != nullptr ? *type : 0;
  DWORD dataSize = size != nullptr ? *size : 0;
  const LSTATUS status =
      ::RegQueryValueExW(KeyOf(key), Wide(name), nullptr, type != nullptr ? &valueType : nullptr,
                         static_cast<BYTE*>(data), size != nullptr ? &dataSize : nullptr);
  if (type != nullptr) {
    *type = valueType;
  }
  if (size != nullptr) {
    *size = dataSize;
  }
  return static_cast<ErrorCode>(status);
}

ErrorCode Win32Registry::SetValue(RegistryKeyHandle key,
                                  const char16_t* name,
                                  std::uint32_t type,
                                  const void* data,
                                  std::uint32_t size) {
  return static_cast<ErrorCode>(
      ::RegSetValueExW(KeyOf(key), Wide(name), 0, type, static_cast<const BYTE*>(data), size));
}

ErrorCode Win32Registry::DeleteTree(RegistryRoot root,
                                    const char16_t* subKey,
                                    std::uint32_t access) {
  const REGSAM view = access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(
      RootKey(root), Wide(subKey), 0,
      view | DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE, &opened);
  if (status != ERROR_SUCCESS) {
    return static_cast<ErrorCode>(status);
  }
  status = ::RegDeleteTreeW(opened, nullptr);
  CloseKey(FromNative<RegistryKeyHandle>(opened));
  if (status != ERROR_SUCCESS) {
    return static_cast<ErrorCode>(status);
  }
  return static_cast<ErrorCode>(::RegDeleteKeyExW(RootKey(root), Wide(subKey), view, 0));
}

void Win32Registry::CloseKey(RegistryKeyHandle key) {
  const LastErrorKeeper keeper;
  ::RegCloseKey(KeyOf(key));
}

}  // namespace calvera::platform
