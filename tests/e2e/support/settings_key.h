// A key of HKEY_LOCAL_MACHINE, by default the service's settings key Software\Tolvane\Calvera in
// the 32-bit registry view that the service reads, or the policy key that management tools
// write: values of any type with any data, the key's whole contents, removal. Callable from any
// thread; every call opens and closes the key, as the service does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace calvera::e2e {

using Bytes = std::vector<std::uint8_t>;

struct RegistryValue {
  DWORD type = REG_NONE;
  Bytes data;
  bool operator==(const RegistryValue&) const = default;
};

// Raw data of the usual forms.
Bytes DwordData(std::uint32_t value);
Bytes QwordData(std::uint64_t value);
// The UTF-16LE units of `text`, with no terminator: add one with Utf16Data(text + L'\0').
Bytes Utf16Data(const std::wstring& text);
// "name type=4 size=4 data=01000000", with the data cut after 32 bytes, for messages.
std::string Describe(const std::wstring& name, const RegistryValue& value);

// How the service reads a value as a number: a REG_DWORD of at most 4 bytes, zero-padded (so
// one without data reads as 0); anything else is no number and the default applies.
std::optional<std::int32_t> DwordReading(const std::optional<RegistryValue>& value);

inline constexpr wchar_t kSettingsKeyPath[] = L"Software\\Tolvane\\Calvera";
// Shared by both views; written in the 64-bit one, as Group Policy's client writes it.
inline constexpr wchar_t kPolicyKeyPath[] = L"Software\\Policies\\Tolvane\\Calvera";
inline constexpr REGSAM kPolicyKeyView = KEY_WOW64_64KEY;

class SettingsKey {
 public:
  using Contents = std::map<std::wstring, RegistryValue>;

  // `view` is the KEY_WOW64_* right every call adds.
  explicit SettingsKey(std::wstring path = kSettingsKeyPath, REGSAM view = KEY_WOW64_32KEY)
      : path_(std::move(path)), view_(view) {}
  const std::wstring& Path() const { return path_; }

  // Each returns ERROR_SUCCESS or the registry's error.
  [[nodiscard]] LONG Write(const std::wstring& name, const RegistryValue& value) const;
  [[nodiscard]] LONG Write(const std::wstring& name, DWORD type, const Bytes& data) const {
    return Write(name, RegistryValue{type, data});
  }
  [[nodiscard]] LONG WriteDword(const std::wstring& name, std::uint32_t value) const {
    return Write(name, REG_DWORD, DwordData(value));
  }
  // Stores `contents` over the values already there, the names of `last` after all others.
  [[nodiscard]] LONG WriteAll(const Contents& contents, const std::wstring& last = L"") const;
  [[nodiscard]] LONG Delete(const std::wstring& name) const;  // an absent value is no error
  // Removes the key with every value; an absent key is no error.
  [[nodiscard]] LONG Clear() const;

  std::optional<RegistryValue> Read(const std::wstring& name) const;
  // Every value; empty when the key is absent.
  Contents Snapshot() const;

 private:
  std::wstring path_;
  REGSAM view_;
};

// Clears the key when made and again when destroyed, so that a test leaves the settings (or
// the policy) as it found them: absent.
class ScopedSettingsKey : public SettingsKey {
 public:
  explicit ScopedSettingsKey(std::wstring path = kSettingsKeyPath, REGSAM view = KEY_WOW64_32KEY);
  ScopedSettingsKey(const ScopedSettingsKey&) = delete;
  ScopedSettingsKey& operator=(const ScopedSettingsKey&) = delete;
  ~ScopedSettingsKey();
};

// The policy key for a test: absent before and after it.
class ScopedPolicyKey : public ScopedSettingsKey {
 public:
  ScopedPolicyKey() : ScopedSettingsKey(kPolicyKeyPath, kPolicyKeyView) {}
};

}  // namespace calvera::e2e
