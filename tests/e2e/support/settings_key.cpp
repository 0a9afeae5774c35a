#include "e2e/support/settings_key.h"

#include <cstdio>

#include "e2e/support/text.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {

Bytes DwordData(std::uint32_t value) {
  Bytes data;
  for (int i = 0; i < 4; ++i)
    data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return data;
}

Bytes QwordData(std::uint64_t value) {
  Bytes data;
  for (int i = 0; i < 8; ++i)
    data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return data;
}

Bytes Utf16Data(const std::wstring& text) {
  Bytes data;
  for (const wchar_t unit : text) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
  }
  return data;
}

std::string Describe(const std::wstring& name, const RegistryValue& value) {
  std::string text = Utf8(name) + " type=" + std::to_string(value.type) +
                     " size=" + std::to_string(value.data.size()) + " data=";
  for (std::size_t i = 0; i < value.data.size() && i < 32; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", value.data[i]);
    text += hex;
  }
  return text + (value.data.size() > 32 ? "..." : "");
}

std::optional<std::int32_t> DwordReading(const std::optional<RegistryValue>& value) {
  if (!value || value->type != REG_DWORD || value->data.size() > 4)
    return std::nullopt;
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < value->data.size(); ++i)
    number |= std::uint32_t{value->data[i]} << (8 * i);
  return static_cast<std::int32_t>(number);
}

LONG SettingsKey::Write(const std::wstring& name, const RegistryValue& value) const {
  UniqueRegistryKey key;
  LONG status =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | view_, nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS)
    return status;
  return RegSetValueExW(key.get(), name.c_str(), 0, value.type,
                        value.data.empty() ? nullptr : value.data.data(),
                        static_cast<DWORD>(value.data.size()));
}

LONG SettingsKey::WriteAll(const Contents& contents, const std::wstring& last) const {
  for (const auto& [name, value] : contents) {
    if (name == last)
      continue;
    if (const LONG status = Write(name, value); status != ERROR_SUCCESS)
      return status;
  }
  if (const auto it = contents.find(last); it != contents.end())
    return Write(it->first, it->second);
  return ERROR_SUCCESS;
}

LONG SettingsKey::Delete(const std::wstring& name) const {
  UniqueRegistryKey key;
  LONG status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_SET_VALUE | view_, key.put());
  if (status == ERROR_FILE_NOT_FOUND)
    return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS)
    return status;
  status = RegDeleteValueW(key.get(), name.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG SettingsKey::Clear() const {
  const LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), view_, 0);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

std::optional<RegistryValue> SettingsKey::Read(const std::wstring& name) const {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_QUERY_VALUE | view_, key.put()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  for (;;) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return std::nullopt;
    RegistryValue value{type, Bytes(size)};
    const LONG status =
        RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size);
    if (status == ERROR_MORE_DATA)
      continue;  // it grew between the two queries
    if (status != ERROR_SUCCESS)
      return std::nullopt;
    value.type = type;
    value.data.resize(size);
    return value;
  }
}

SettingsKey::Contents SettingsKey::Snapshot() const {
  Contents contents;
  UniqueRegistryKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, KEY_QUERY_VALUE | view_, key.put()) !=
      ERROR_SUCCESS) {
    return contents;
  }
  DWORD longestName = 0;
  DWORD longestData = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return contents;
  }
  for (DWORD index = 0;; ++index) {
    std::wstring name(longestName + 1, L'\0');
    DWORD nameLength = longestName + 1;
    RegistryValue value{REG_NONE, Bytes(longestData)};
    DWORD size = longestData;
    if (RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &value.type,
                      value.data.data(), &size) != ERROR_SUCCESS) {
      break;
    }
    name.resize(nameLength);
    value.data.resize(size);
    contents.emplace(name, value);
  }
  return contents;
}

ScopedSettingsKey::ScopedSettingsKey(std::wstring path, REGSAM view)
    : SettingsKey(std::move(path), view) {
  static_cast<void>(Clear());  // a key that cannot be cleared shows in the test that reads it
}

ScopedSettingsKey::~ScopedSettingsKey() {
  static_cast<void>(Clear());  // one left behind shows in the next test, which clears it again
}

}  // namespace calvera::e2e
