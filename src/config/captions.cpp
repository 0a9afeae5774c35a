#include "config/captions.h"

#include "config/caption_text.h"
#include "config/policy_key.h"
#include "config/settings.h"
#include "platform/failure_policy.h"

namespace calvera::config {

std::optional<std::u16string> LoadCaptionTable(platform::Resources& resources,
                                               std::u16string_view language) {
  const std::u16string name(language);  // NUL-terminated for the platform
  const auto bytes = resources.FindRcData(name.c_str());
  if (!bytes) {
    return std::nullopt;
  }
  return DecodeCaptionTable(
      *bytes, [&resources](std::span<const std::byte> ansi) { return resources.DecodeAnsi(ansi); });
}

std::u16string LookupCaption(platform::Platform& platform,
                             std::u16string_view formName,
                             std::u16string_view controlName) {
  return TryOrDefault(
      [&] {
        std::u16string language = AsciiLower(PolicyKey(platform.registry).ReadString(kLanguage));
        if (language.empty()) {
          language = kLanguage.fallback;
        }
        const auto table = LoadCaptionTable(platform.resources, language);
        return table ? FindCaption(*table, formName, controlName) : std::u16string();
      },
      std::u16string());
}

}  // namespace calvera::config
