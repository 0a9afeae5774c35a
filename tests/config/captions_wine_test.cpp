// The caption tables as the executable embeds them, read through the real resources.
#include "config/captions.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/caption_text.h"
#include "config/custom_registry.h"
#include "config/service_captions.h"
#include "config/settings.h"
#include "fake/fake_platform.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"

namespace calvera::config {
namespace {

// The 8-bit tables come out right only where the ANSI code page is Windows-1252.
bool AnsiIsWindows1252(platform::Resources& resources) {
  const std::byte cedilla[] = {std::byte{0xE7}};
  return resources.DecodeAnsi(cedilla) == u"\u00E7";
}

// Each name spelled in another mix of cases, for the case-blind resource lookup.
std::u16string MixedCase(const char* language, std::size_t variant) {
  std::u16string name = FromAscii(language);
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((i + variant) % 2 == 0) {
      name[i] = static_cast<char16_t>(name[i] - u'a' + u'A');
    }
  }
  return name;
}

TEST(CaptionsWineTest, TheExecutableEmbedsEveryTable) {
  platform::Resources& resources = platform::Win32Platform().resources;
  const bool windows1252 = AnsiIsWindows1252(resources);
  std::size_t variant = 0;
  for (const auto& language : kServiceCaptions) {
    const std::u16string name = MixedCase(language.language, variant++);
    const auto table = LoadCaptionTable(resources, name);
    ASSERT_TRUE(table) << ToUtf8(name);
    const std::u16string displayName = FindCaption(*table, u"Calvera", u"DisplayName");
    const std::u16string description = FindCaption(*table, u"Calvera", u"Description");
    const bool utf16 = language.language != std::string_view("english") &&
                       language.language != std::string_view("prtbrzl");
    if (utf16 || windows1252) {
      EXPECT_EQ(displayName, FromUtf8(language.displayName)) << ToUtf8(name);
      EXPECT_EQ(description, FromUtf8(language.description)) << ToUtf8(name);
    } else {
      EXPECT_EQ(displayName.size(), FromUtf8(language.displayName).size()) << ToUtf8(name);
    }
  }
  EXPECT_FALSE(LoadCaptionTable(resources, u"klingon"));
  if (!windows1252) {
    GTEST_SKIP() << "the ANSI code page is not Windows-1252; 8-bit tables checked by length";
  }
}

TEST(CaptionsWineTest, LookupCaptionUsesTheEmbeddedTableOfTheSetting) {
  fake::FakePlatform fake;
  platform::Platform real{
      fake.registry, fake.libraries, fake.system,    fake.process,
      fake.services, fake.eventLog,  fake.windowing, platform::Win32Platform().resources};
  WriteRegistryString(fake.registry, platform::RegistryRoot::kLocalMachine, kSettingsKeyPath,
                      kLanguage.name, u"RUSSIAN", false);
  EXPECT_EQ(LookupCaption(real, u"calvera", u"DESCRIPTION"),
            FromUtf8(kServiceCaptions[4].description));
}

}  // namespace
}  // namespace calvera::config
