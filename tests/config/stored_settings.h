// Where the fake registry holds the system's settings, and how a test stores and reads one
// there directly, past the settings store. Any thread, as the fake registry allows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "fake/fake_registry.h"

namespace calvera::config {

// The settings key in the fake registry's native view: the settings store's default view
// reaches it below Software\Wow6432Node, its 64-bit view below Software itself.
inline std::u16string StoredSettingsPath(bool use64BitView = false) {
  // kSettingsKeyPath without the backslashes at its ends.
  std::u16string path(kSettingsKeyPath + 1);
  path.pop_back();
  if (use64BitView)
    return path;
  constexpr std::u16string_view kSoftware = u"Software";
  return std::u16string(kSoftware) + u"\\Wow6432Node" + path.substr(kSoftware.size());
}

inline const std::u16string kStoredSettingsPath = StoredSettingsPath();

// The policy key in the fake registry: one key that both views reach.
inline const std::u16string kStoredPolicyPath = [] {
  std::u16string path(kPolicyKeyPath + 1);
  path.pop_back();
  return path;
}();

// REG_DWORD `value`, or REG_SZ `text`, as the value `name` of the policy key.
inline void StorePolicy(fake::FakeRegistry& registry,
                        const std::u16string& name,
                        std::uint32_t value) {
  registry.SetDword(platform::RegistryRoot::kLocalMachine, kStoredPolicyPath, name, value);
}
inline void StorePolicy(fake::FakeRegistry& registry,
                        const std::u16string& name,
                        const std::u16string& text) {
  registry.SetString(platform::RegistryRoot::kLocalMachine, kStoredPolicyPath, name, text);
}

// REG_DWORD `value`, or REG_SZ `text`, as the value `name` of the settings key.
inline void StoreSetting(fake::FakeRegistry& registry,
                         const std::u16string& name,
                         std::uint32_t value) {
  registry.SetDword(platform::RegistryRoot::kLocalMachine, kStoredSettingsPath, name, value);
}
inline void StoreSetting(fake::FakeRegistry& registry,
                         const std::u16string& name,
                         const std::u16string& text) {
  registry.SetString(platform::RegistryRoot::kLocalMachine, kStoredSettingsPath, name, text);
}

// The value `name` of the settings key as a REG_DWORD, or a REG_SZ's text; none when absent
// or of another type.
inline std::optional<std::uint32_t> StoredDword(const fake::FakeRegistry& registry,
                                                const std::u16string& name) {
  return registry.GetDword(platform::RegistryRoot::kLocalMachine, kStoredSettingsPath, name);
}
inline std::optional<std::u16string> StoredString(const fake::FakeRegistry& registry,
                                                  const std::u16string& name) {
  return registry.GetString(platform::RegistryRoot::kLocalMachine, kStoredSettingsPath, name);
}

}  // namespace calvera::config
