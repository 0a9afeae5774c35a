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
ScopedKey OpenKey(const VolatileValue& value, REGSAM parentAccess, REGSAM access) {
  HKEY parent = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(value.parentKeyPath), 0, parentAccess, &parent) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  const ScopedKey parentKey(parent);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(parentKey.get(), Wide(value.keyName), 0, access, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return ScopedKey(key);
}

std::optional<std::vector<std::uint8_t>> ReadValue(const VolatileValue& value) {
  const ScopedKey key = OpenKey(value, KEY_QUERY_VALUE, KEY_QUERY_VALUE);
  if (!key) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), Wide(value.valueName), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_BINARY) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> data(size);
  if (::RegQueryValueExW(key.get(), Wide(value.valueName), nullptr, &type, data.data(), &size) !=
          ERROR_SUCCESS ||
      type != REG_BINARY) {
    return std::nullopt;
  }
  data.resize(size);
  return data;
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

std::optional<std::vector<std::uint8_t>> Win32VolatileStore::Read(const VolatileValue& value) {
  return TryOrDefault([&value] { return ReadValue(value); },
                      std::optional<std::vector<std::uint8_t>>());
}

ErrorCode Win32VolatileStore::Write(const VolatileValue& value,
                                    std::span<const std::uint8_t> data) {
  return TryOrDefault([&] { return WriteValue(value, data); }, kErrorNotEnoughMemory);
}

}  // namespace calvera::platform
