// Fake executable resources and ANSI code page. By default it holds the five caption tables
// that the executable embeds, read from the source tree, and decodes 8-bit text as
// Windows-1252; tests can change both. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"

namespace calvera::fake {

class FakeResources : public platform::Resources {
 public:
  // The four calls behind FindRcData, in their order.
  enum class Call { kFindResource, kLoadResource, kLockResource, kSizeofResource };

  FakeResources();

  // platform::Resources. Names match without regard to ASCII case.
  std::optional<std::span<const std::byte>> FindRcData(const char16_t* name) override;
  std::u16string DecodeAnsi(std::span<const std::byte> bytes) override;

  // Adds the resource or replaces its bytes; spans handed out for it before become invalid.
  void SetRcData(std::u16string_view name, std::string_view bytes);
  void RemoveRcData(std::u16string_view name);
  // The system's ANSI code page: 1252 (the default) or 1251.
  void SetAnsiCodePage(std::uint32_t codePage);
  // Later lookups find that call failing until cleared: FindResourceExW, LoadResource or
  // LockResource failing gives no resource; SizeofResource failing (0) gives no bytes.
  void FailCall(Call call, bool fails);

 private:
  std::map<std::u16string, std::vector<std::byte>> rcData_;  // by upper-cased name
  std::uint32_t codePage_ = 1252;
  std::map<Call, bool> failures_;
};

}  // namespace calvera::fake
