// The policy key, opened once and read value by value through that one handle: a value there
// of the type the settings store reads wins over the same value of the settings key. Read,
// never written. No failure leaves it: a key that does not exist or cannot be opened, and a
// value that is absent, of another type or unreadable, leave the settings key's value in force.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"

namespace calvera::config {

// The access rights the policy key is opened with: read, in the 64-bit view. Software\Policies
// is shared by both views, so the 32-bit and 64-bit builds read the one key that management
// tools (64-bit processes on 64-bit Windows) write; on 32-bit Windows the right is ignored.
std::uint32_t PolicyKeyAccessRights();

// Owns the open policy key for one round of reads; one thread at a time.
class PolicyKey {
 public:
  // One RegOpenKeyExW; when it fails (the usual case: no policy is set) the reader holds no
  // key and asks the registry nothing more. Never throws.
  explicit PolicyKey(platform::Registry& registry) noexcept;

  bool IsOpen() const { return static_cast<bool>(key_); }

  // The setting's value: the policy's when the key holds one of the right type (a REG_DWORD of
  // at most 4 bytes; a non-empty REG_SZ or REG_EXPAND_SZ), else the settings store's reading of
  // the settings key with the setting's default. Never throws.
  std::int32_t ReadInteger(const char16_t* valueName, std::int32_t fallback) const noexcept;
  bool ReadBool(const Setting<bool>& setting) const noexcept;
  std::u16string ReadString(const Setting<const char16_t*>& setting) const noexcept;

 private:
  // The policy's REG_DWORD `valueName`; nullopt without the key or such a value.
  std::optional<std::int32_t> PolicyDword(const char16_t* valueName) const noexcept;

  platform::Registry& registry_;
  platform::ScopedRegistryKey key_;
};

// ExcludeProcesses as the companion keeps to it: the policy key's list when it holds a non-empty
// REG_MULTI_SZ, else the settings key's. Each key is opened for its one read. Never throws.
std::vector<std::u16string> ReadExcludedProcesses(platform::Registry& registry) noexcept;

}  // namespace calvera::config
