#include "config/custom_registry.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/failure_policy.h"
#include "platform/scoped_handle.h"

namespace calvera::config {
namespace {

using platform::Registry;
using platform::RegistryRoot;
using platform::ScopedRegistryKey;

// Key paths are held with a leading backslash that marks them as starting at the root; the
// platform takes them without it (the trailing one stays).
const char16_t* BelowRoot(const char16_t* keyPath) {
  return keyPath + (keyPath[0] == u'\\' ? 1 : 0);
}

// An open key, or an empty owner when the key cannot be opened; every query on an empty owner
// fails, which is what turns a missing key into the caller's default.
ScopedRegistryKey Open(Registry& registry,
                       RegistryRoot root,
                       const char16_t* keyPath,
                       AccessKind kind,
                       bool use64BitView) {
  const std::uint32_t access = RegistryAccessRights(kind, use64BitView, platform::kProcessIs64Bit);
  ScopedRegistryKey key(registry);
  const auto status = kind == AccessKind::kRead
                          ? registry.OpenKey(root, BelowRoot(keyPath), access, key.put())
                          : registry.CreateKey(root, BelowRoot(keyPath), access, key.put());
  if (status != platform::kErrorSuccess)
    return {};
  return key;
}

// A REG_DWORD of at most 4 bytes; nullopt when the key or value is missing, the data is longer
// or the type is another.
std::optional<std::int32_t> ReadDword(Registry& registry,
                                      RegistryRoot root,
                                      const char16_t* keyPath,
                                      const char16_t* valueName,
                                      bool use64BitView) {
  const ScopedRegistryKey key = Open(registry, root, keyPath, AccessKind::kRead, use64BitView);
  return ReadDwordValue(registry, key.get(), valueName);
}

// The code units of a REG_MULTI_SZ value; nullopt when the key or value is missing, the type
// is another or the value cannot be fetched. Another program may grow the value between the
// size query and the fetch: the fetch is tried again then.
std::optional<std::vector<char16_t>> ReadMultiStringUnits(Registry& registry,
                                                          const ScopedRegistryKey& key,
                                                          const char16_t* valueName) {
  constexpr int kAttempts = 3;
  for (int attempt = 0; key && attempt < kAttempts; ++attempt) {
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

// The strings before the first empty one; the last may lack its NUL.
std::vector<std::u16string> SplitMultiString(const std::vector<char16_t>& units) {
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

void Write(Registry& registry,
           RegistryRoot root,
           const char16_t* keyPath,
           const char16_t* valueName,
           std::uint32_t type,
           const void* data,
           std::uint32_t size,
           bool use64BitView) {
  const ScopedRegistryKey key = Open(registry, root, keyPath, AccessKind::kWrite, use64BitView);
  if (key) {
    // A write that cannot be done does nothing; the caller cannot tell.
    static_cast<void>(registry.SetValue(key.get(), valueName, type, data, size));
  }
}

}  // namespace

std::optional<std::u16string> ReadStringValue(Registry& registry,
                                              platform::RegistryKeyHandle key,
                                              const char16_t* valueName) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (key == platform::RegistryKeyHandle{} ||
      registry.QueryValue(key, valueName, &type, nullptr, &size) != platform::kErrorSuccess ||
      size == 0) {
    return std::u16string();
  }
  // Whole code units only: an odd last byte is half a character and is dropped.
  std::vector<char16_t> buffer((size + 1) / 2, u'\0');
  if (registry.QueryValue(key, valueName, &type, buffer.data(), &size) != platform::kErrorSuccess ||
      (type != platform::kRegSz && type != platform::kRegExpandSz)) {
    return std::nullopt;
  }
  const auto units =
      buffer.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(size / 2, buffer.size()));
  return std::u16string(buffer.begin(), std::find(buffer.begin(), units, u'\0'));
}

std::optional<std::int32_t> ReadDwordValue(Registry& registry,
                                           platform::RegistryKeyHandle key,
                                           const char16_t* valueName) {
  if (key == platform::RegistryKeyHandle{})
    return std::nullopt;
  // Cleared first: data shorter than 4 bytes leaves the rest 0, never stale memory.
  unsigned char data[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof data;
  if (registry.QueryValue(key, valueName, &type, data, &size) != platform::kErrorSuccess ||
      type != platform::kRegDword) {
    return std::nullopt;
  }
  std::int32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  return value;
}

std::uint32_t RegistryAccessRights(AccessKind kind, bool use64BitView, bool processIs64Bit) {
  const std::uint32_t rights = kind == AccessKind::kRead ? platform::kKeyRead : platform::kKeyWrite;
  if (use64BitView)
    return rights | platform::kKeyWow64_64Key;
  return processIs64Bit ? rights | platform::kKeyWow64_32Key : rights;
}

std::u16string ReadRegistryString(Registry& registry,
                                  RegistryRoot root,
                                  const char16_t* keyPath,
                                  const char16_t* valueName,
                                  const std::u16string& fallback,
                                  bool use64BitView) {
  return TryOrDefault(
      [&]() -> std::u16string {
        const ScopedRegistryKey key =
            Open(registry, root, keyPath, AccessKind::kRead, use64BitView);
        const auto first = ReadStringValue(registry, key.get(), valueName);
        if (!first)
          return fallback;
        if (first->empty())
          return fallback;
        // The value is read a second time and that reading is the result.
        return ReadStringValue(registry, key.get(), valueName).value_or(fallback);
      },
      fallback);
}

std::int32_t ReadRegistryInteger(Registry& registry,
                                 RegistryRoot root,
                                 const char16_t* keyPath,
                                 const char16_t* valueName,
                                 std::int32_t fallback,
                                 bool use64BitView) {
  return TryOrDefault(
      [&] {
        return ReadDword(registry, root, keyPath, valueName, use64BitView).value_or(fallback);
      },
      fallback);
}

bool ReadRegistryBool(Registry& registry,
                      RegistryRoot root,
                      const char16_t* keyPath,
                      const char16_t* valueName,
                      bool fallback,
                      bool use64BitView) {
  return TryOrDefault(
      [&] {
        const auto value = ReadDword(registry, root, keyPath, valueName, use64BitView);
        return value ? *value != 0 : fallback;
      },
      fallback);
}

std::vector<std::u16string> ReadRegistryMultiString(Registry& registry,
                                                    RegistryRoot root,
                                                    const char16_t* keyPath,
                                                    const char16_t* valueName,
                                                    bool use64BitView) {
  return TryOrDefault(
      [&]() -> std::vector<std::u16string> {
        const ScopedRegistryKey key =
            Open(registry, root, keyPath, AccessKind::kRead, use64BitView);
        const auto units = ReadMultiStringUnits(registry, key, valueName);
        return units ? SplitMultiString(*units) : std::vector<std::u16string>();
      },
      std::vector<std::u16string>());
}

void WriteRegistryString(Registry& registry,
                         RegistryRoot root,
                         const char16_t* keyPath,
                         const char16_t* valueName,
                         const std::u16string& value,
                         bool use64BitView) {
  TryOrIgnore([&] {
    const auto size = static_cast<std::uint32_t>((value.size() + 1) * sizeof(char16_t));
    Write(registry, root, keyPath, valueName, platform::kRegSz, value.c_str(), size, use64BitView);
  });
}

void WriteRegistryBool(Registry& registry,
                       RegistryRoot root,
                       const char16_t* keyPath,
                       const char16_t* valueName,
                       bool value,
                       bool use64BitView) {
  TryOrIgnore([&] {
    const std::uint32_t data = value ? 1 : 0;
    Write(registry, root, keyPath, valueName, platform::kRegDword, &data, sizeof data,
          use64BitView);
  });
}

}  // namespace calvera::config
