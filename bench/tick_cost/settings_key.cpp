#include "tick_cost/settings_key.h"

#include "config/settings.h"
#include "platform/scoped_handle.h"

namespace calvera::bench {
namespace {

using platform::RegistryRoot;

// The key as the platform takes it, in the 32-bit view whatever this process's bitness; deleted
// by its name without the trailing backslash.
const char16_t* const kKey = config::kSettingsKeyPath + 1;
constexpr char16_t kKeyToDelete[] = u"Software\\Tolvane\\Calvera";
constexpr std::uint32_t kView = platform::kKeyWow64_32Key;

}  // namespace

bool StoreSettings(platform::Registry& registry, std::span<const StoredSetting> settings) {
  RemoveSettings(registry);
  platform::ScopedRegistryKey key(registry);
  if (registry.CreateKey(RegistryRoot::kLocalMachine, kKey, platform::kKeyWrite | kView,
                         key.put()) != platform::kErrorSuccess) {
    return false;
  }
  for (const StoredSetting& setting : settings) {
    if (registry.SetValue(key.get(), setting.name, platform::kRegDword, &setting.value,
                          sizeof setting.value) != platform::kErrorSuccess) {
      return false;
    }
  }
  return true;
}

void RemoveSettings(platform::Registry& registry) {
  // Absent already is as good.
  static_cast<void>(registry.DeleteTree(RegistryRoot::kLocalMachine, kKeyToDelete, kView));
}

}  // namespace calvera::bench
