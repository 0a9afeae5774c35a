// Every registry value the system reads or writes, with its key and default, in one place.
#pragma once

#include <cstdint>

namespace calvera::config {

// Key paths as the program holds them: a leading and a trailing backslash, below
// HKEY_LOCAL_MACHINE.
inline constexpr char16_t kSettingsKeyPath[] = u"\\Software\\Tolvane\\Calvera\\";
// The key that Group Policy, Intune and other management tools write and clean up. Its values
// win over the same values of the settings key, except those the system itself writes or the
// desktop application reports (`Updated`, `UpdatedDate`, `FullScreen`). Nothing here writes it.
inline constexpr char16_t kPolicyKeyPath[] = u"\\Software\\Policies\\Tolvane\\Calvera\\";
inline constexpr char16_t kServiceKeyPath[] = u"\\SYSTEM\\CurrentControlSet\\Services\\Calvera\\";

// A setting: its value name and the default its readers pass.
template <typename T>
struct Setting {
  const char16_t* name;
  T fallback;
};

// A machine of at least this many megabytes takes the larger defaults of the level and the
// amount.
inline constexpr std::int64_t kLargeMemoryMegabytes = 1536;

// The level and the amount: their defaults depend on the machine's memory.
struct MemorySetting {
  const char16_t* name;
  std::int32_t fallbackLarge;
  std::int32_t fallbackSmall;
  constexpr std::int32_t Fallback(bool largeMemory) const {
    return largeMemory ? fallbackLarge : fallbackSmall;
  }
};

inline constexpr MemorySetting kMemoryMaintain{u"MemoryMaintain", 30, 20};
inline constexpr MemorySetting kMemoryFree{u"MemoryFree", 60, 40};
inline constexpr Setting<bool> kProcessorLimit{u"ProcessorLimit", true};
inline constexpr Setting<std::int32_t> kProcessorTrigger{u"ProcessorTrigger", 85};
inline constexpr Setting<bool> kBatteryCheck{u"BatteryCheck", false};
inline constexpr Setting<bool> kFullScreen{u"FullScreen", false};
inline constexpr Setting<bool> kFullScreenCheck{u"FullScreenCheck", true};
inline constexpr Setting<std::int32_t> kExecutePeriod{u"ExecutePeriod", 5};
inline constexpr Setting<bool> kLoadCalvera{u"LoadCalvera", true};
inline constexpr Setting<bool> kDefragMemory{u"DefragMemory", true};
inline constexpr Setting<bool> kUpdated{u"Updated", false};
inline constexpr char16_t kUpdatedDate[] = u"UpdatedDate";  // written, never read
inline constexpr Setting<const char16_t*> kLanguage{u"Language", u"english"};
inline constexpr char16_t kDescription[] = u"Description";  // in the service's key

// Image names that the companion program never trims, REG_MULTI_SZ; none when absent.
inline constexpr char16_t kExcludeProcesses[] = u"ExcludeProcesses";

}  // namespace calvera::config
