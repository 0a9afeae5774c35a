#include "config/policy_key.h"

#include "config/custom_registry.h"
#include "platform/failure_policy.h"

namespace calvera::config {
namespace {

using platform::RegistryRoot;

// kPolicyKeyPath without its leading backslash, as the platform takes key paths.
const char16_t* PolicySubKey() {
  return kPolicyKeyPath + 1;
}

}  // namespace

std::uint32_t PolicyKeyAccessRights() {
  return RegistryAccessRights(AccessKind::kRead, true, platform::kProcessIs64Bit);
}

PolicyKey::PolicyKey(platform::Registry& registry) noexcept : registry_(registry), key_(registry) {
  TryOrIgnore([this] {
    // A failed open leaves the owner empty: nothing to look at.
    static_cast<void>(registry_.OpenKey(RegistryRoot::kLocalMachine, PolicySubKey(),
                                        PolicyKeyAccessRights(), key_.put()));
  });
}

std::optional<std::int32_t> PolicyKey::PolicyDword(const char16_t* valueName) const noexcept {
  if (!key_)
    return std::nullopt;
  return TryOrDefault([&] { return ReadDwordValue(registry_, key_.get(), valueName); },
                      std::optional<std::int32_t>());
}

std::int32_t PolicyKey::ReadInteger(const char16_t* valueName,
                                    std::int32_t fallback) const noexcept {
  if (const auto value = PolicyDword(valueName))
    return *value;
  return ReadRegistryInteger(registry_, RegistryRoot::kLocalMachine, kSettingsKeyPath, valueName,
                             fallback, false);
}

bool PolicyKey::ReadBool(const Setting<bool>& setting) const noexcept {
  if (const auto value = PolicyDword(setting.name))
    return *value != 0;
  return ReadRegistryBool(registry_, RegistryRoot::kLocalMachine, kSettingsKeyPath, setting.name,
                          setting.fallback, false);
}

std::u16string PolicyKey::ReadString(const Setting<const char16_t*>& setting) const noexcept {
  return TryOrDefault(
      [&] {
        if (key_) {
          auto value = ReadStringValue(registry_, key_.get(), setting.name);
          if (value && !value->empty())
            return std::move(*value);
        }
        return ReadRegistryString(registry_, RegistryRoot::kLocalMachine, kSettingsKeyPath,
                                  setting.name, setting.fallback, false);
      },
      std::u16string(setting.fallback));
}

std::vector<std::u16string> ReadExcludedProcesses(platform::Registry& registry) noexcept {
  // ReadRegistryMultiString never throws: an absent or unreadable list is an empty one.
  std::vector<std::u16string> names =
      ReadRegistryMultiString(registry, platform::RegistryRoot::kLocalMachine, kPolicyKeyPath,
                              kExcludeProcesses, /*use64BitView=*/true);
  if (!names.empty())
    return names;
  return ReadRegistryMultiString(registry, platform::RegistryRoot::kLocalMachine, kSettingsKeyPath,
                                 kExcludeProcesses, /*use64BitView=*/false);
}

}  // namespace calvera::config
