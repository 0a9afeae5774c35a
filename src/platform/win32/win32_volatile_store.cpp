#include <memory>

#include "platform/failure_policy.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"

namespace calvera::platform {
namespace {

struct KeyCloser {
  void operator()(HKEY key) const {
    const LastErrorKeeper keeper;
    ::RegCloseKey(key);
  }
};
using ScopedKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The key below the parent, opened through the parent so that the path is used as it stands.
LSTATUS OpenKey(const VolatileValue& value, REGSAM access, ScopedKey* key) {
  HKEY parent = nullptr;
  LSTATUS status =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(value.parentKeyPath), 0, access, &parent);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  const ScopedKey parentKey(parent);
  HKEY opened = nullptr;
  status = ::RegOpenKeyExW(parentKey.get(), Wide(value.keyName), 0, access, &opened);
  key->reset(opened);
  return status;
}

LSTATUS ReadValue(const VolatileValue& value, std::vector<std::uint8_t>* data) {
  data->clear();
  ScopedKey key;
  LSTATUS status = OpenKey(value, KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  DWORD type = 0;
  DWORD size = 0;
  status = ::RegQueryValueExW(key.get(), Wide(value.valueName), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  if (type != REG_BINARY) {
    return ERROR_INVALID_DATATYPE;
  }
  data->resize(size);
  status =
      ::RegQueryValueExW(key.get(), Wide(value.valueName), nullptr, &type, data->data(), &size);
  if (status != ERROR_SUCCESS || type != REG_BINARY) {
    data->clear();
    return status != ERROR_SUCCESS ? status : ERROR_INVALID_DATATYPE;
  }
  data->resize(size);
  return ERROR_SUCCESS;
}

ErrorCode WriteValue(const VolatileValue& value, std::span<const std::uint8_t> data) {
  HKEY opened = nullptr;
  LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(value.parentKeyPath), 0,
                                   KEY_CREATE_SUB_KEY, &opened);
  if (status != ERROR_SUCCESS) {
    return static_cast<ErrorCode>(status);
  }
  const ScopedKey parent(opened);
  opened = nullptr;
  status = ::RegCreateKeyExW(parent.get(), Wide(value.keyName), 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_SET_VALUE, nullptr, &opened, nullptr);
  if (status != ERROR_SUCCESS) {
    return static_cast<ErrorCode>(status);
  }
  const ScopedKey key(opened);
  return static_cast<ErrorCode>(::RegSetValueExW(key.get(), Wide(value.valueName), 0, REG_BINARY,
                                                 data.data(), static_cast<DWORD>(data.size())));
}

}  // namespace

ErrorCode Win32VolatileStore::Read(const VolatileValue& value, std::vector<std::uint8_t>* data) {
  return TryOrDefault([&] { return static_cast<ErrorCode>(ReadValue(value, data)); },
                      kErrorNotEnoughMemory);
}

ErrorCode Win32VolatileStore::Write(const VolatileValue& value,
                                    std::span<const std::uint8_t> data) {
  return TryOrDefault([&] { return WriteValue(value, data); }, kErrorNotEnoughMemory);
}

}  // namespace calvera::platform
