#include "config/multi_string_setting.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "config/custom_registry.h"
#include "platform/failure_policy.h"
#include "platform/scoped_handle.h"

namespace calvera::config {
namespace {

using platform::Registry;
using platform::ScopedRegistryKey;

constexpr bool kProcessIs64Bit = sizeof(void*) == 8;
// Another program may grow the value between the size query and the read.
constexpr int kReadAttempts = 3;

std::vector<std::u16string> Split(const std::vector<char16_t>& units) {
  std::vector<std::u16string> strings;
  std::u16string current;
  for (const char16_t unit : units) {
    if (unit != u'\0') {
      current.push_back(unit);
    } else if (current.empty()) {
      return strings;
    } else {
      strings.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty())
    strings.push_back(std::move(current));
  return strings;
}

std::optional<std::vector<char16_t>> ReadUnits(Registry& registry,
                                               const ScopedRegistryKey& key,
                                               const char16_t* valueName) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (registry.QueryValue(key.get(), valueName, &type, nullptr, &size) !=
            platform::kErrorSuccess ||
        type != platform::kRegMultiSz) {
      return std::nullopt;
    }
    // Whole code units only: an odd last byte is half a character and is dropped.
    std::vector<char16_t> units((size + 1) / 2, u'\0');
    const auto status = registry.QueryValue(key.get(), valueName, &type, units.data(), &size);
    if (status == platform::kErrorMoreData)
      continue;
    if (status != platform::kErrorSuccess || type != platform::kRegMultiSz)
      return std::nullopt;
    units.resize(std::min<std::size_t>(size / 2, units.size()));
    return units;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::u16string> ReadRegistryMultiString(Registry& registry,
                                                    platform::RegistryRoot root,
                                                    const char16_t* keyPath,
                                                    const char16_t* valueName,
                                                    bool use64BitView) {
  return TryOrDefault(
      [&]() -> std::vector<std::u16string> {
        // Key paths are held with a leading backslash; the platform takes them without it.
        const char16_t* subKey = keyPath + (keyPath[0] == u'\\' ? 1 : 0);
        platform::RegistryKeyHandle opened{};
        if (registry.OpenKey(root, subKey,
                             RegistryAccessRights(AccessKind::kRead, use64BitView, kProcessIs64Bit),
                             &opened) != platform::kErrorSuccess) {
          return {};
        }
        const ScopedRegistryKey key(registry, opened);
        const auto units = ReadUnits(registry, key, valueName);
        return units ? Split(*units) : std::vector<std::u16string>();
      },
      std::vector<std::u16string>());
}

}  // namespace calvera::config
