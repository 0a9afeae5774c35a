#include "config/captions.h"

#include <gtest/gtest.h>

#include "config/caption_text.h"
#include "config/custom_registry.h"
#include "config/service_captions.h"
#include "config/settings.h"
#include "config/stored_settings.h"
#include "fake/fake_platform.h"
#include "platform/text.h"

namespace calvera::config {
namespace {

using namespace std::literals;

// REG_SZ data of `text` with its NUL, as the policy key would hold it.
fake::FakeRegistry::Value Text(const std::u16string& text, std::uint32_t type = platform::kRegSz) {
  fake::FakeRegistry::Value value{type, {}};
  for (const char16_t unit : text + u'\0') {
    value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return value;
}

class CaptionsTest : public testing::Test {
 protected:
  // Stored through the settings store itself, so it lands in the view that the lookup reads.
  void SetLanguage(const std::u16string& language) {
    WriteRegistryString(fake_.registry, platform::RegistryRoot::kLocalMachine, kSettingsKeyPath,
                        kLanguage.name, language, false);
  }
  std::u16string DisplayName() { return LookupCaption(fake_.platform, u"Calvera", u"DisplayName"); }
  std::u16string Description() { return LookupCaption(fake_.platform, u"Calvera", u"Description"); }

  fake::FakePlatform fake_;
};

TEST_F(CaptionsTest, EveryLanguageHasTheServiceCaptions) {
  for (const auto& language : kServiceCaptions) {
    SetLanguage(FromAscii(language.language));
    EXPECT_EQ(DisplayName(), FromUtf8(language.displayName)) << language.language;
    EXPECT_EQ(Description(), FromUtf8(language.description)) << language.language;
  }
}

TEST_F(CaptionsTest, TheTablesAreStoredAsTheExecutableShipsThem) {
  for (const auto& language : kServiceCaptions) {
    const auto bytes = fake_.resources.FindRcData(FromAscii(language.language).c_str());
    ASSERT_TRUE(bytes) << language.language;
    const std::string_view raw(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    const bool utf16 = language.language != "english"sv && language.language != "prtbrzl"sv;
    EXPECT_EQ(raw.substr(0, 2) == "\xFF\xFE", utf16) << language.language;

    // Two rows of three fields, CR LF between them and no line end after the last.
    const std::u16string text =
        DecodeCaptionTable(*bytes, [this](auto ansi) { return fake_.resources.DecodeAnsi(ansi); });
    const auto lines = SplitCaptionLines(text);
    ASSERT_EQ(lines.size(), 2u) << language.language;
    EXPECT_EQ(text, std::u16string(lines[0]) + u"\r\n" + std::u16string(lines[1]));
    for (const auto line : lines) {
      EXPECT_EQ(SplitCaptionFields(line).size(), 3u) << ToUtf8(line);
    }
  }
}

TEST_F(CaptionsTest, TheLanguageNameIsLowerCasedAndMissingOrEmptyMeansEnglish) {
  const std::u16string english = FromUtf8(kServiceCaptions[0].displayName);
  const std::u16string french = FromUtf8(kServiceCaptions[1].displayName);
  EXPECT_EQ(DisplayName(), english);  // never set
  struct Case {
    std::u16string language;
    std::u16string displayName;
  } cases[] = {
      {u"FRENCH", french}, {u"French", french},   {u"fReNcH", french},
      {u"", english},      {u"ENGLISH", english},
  };
  for (const auto& c : cases) {
    SetLanguage(c.language);
    EXPECT_EQ(DisplayName(), c.displayName) << ToUtf8(c.language);
  }
}

TEST_F(CaptionsTest, ALanguageWithoutATableGivesEmptyCaptions) {
  for (const std::u16string language : {u"klingon", u" french", u"french ", u"fr"}) {
    SetLanguage(language);
    EXPECT_EQ(DisplayName(), u"") << ToUtf8(language);
    EXPECT_EQ(Description(), u"") << ToUtf8(language);
  }
  // No fallback to another table, not even for the default language.
  SetLanguage(u"english");
  fake_.resources.RemoveRcData(u"ENGLISH");
  EXPECT_EQ(DisplayName(), u"");
}

// The policy's Language wins when it is a non-empty string; otherwise the settings key's holds.
TEST_F(CaptionsTest, ThePolicyLanguageWinsWhenItIsAString) {
  const std::u16string english = FromUtf8(kServiceCaptions[0].displayName);
  const std::u16string french = FromUtf8(kServiceCaptions[1].displayName);
  const std::u16string korean = FromUtf8(kServiceCaptions[2].displayName);
  const struct {
    const char* label;
    std::optional<std::u16string> stored;
    std::optional<fake::FakeRegistry::Value> policy;
    std::u16string displayName;
  } cases[] = {
      {"policy over the settings key", u"korean", Text(u"French"), french},
      {"policy without a settings value", std::nullopt, Text(u"korean"), korean},
      {"REG_EXPAND_SZ", u"korean", Text(u"french", platform::kRegExpandSz), french},
      {"an empty policy string", u"korean", Text(u""), korean},
      {"a REG_DWORD", u"korean", fake::FakeRegistry::Value{platform::kRegDword, {1, 0, 0, 0}},
       korean},
      {"REG_MULTI_SZ", u"french", Text(u"korean", platform::kRegMultiSz), french},
      {"no Language in the policy key", u"korean", std::nullopt, korean},
      {"nothing anywhere", std::nullopt, std::nullopt, english},
  };
  for (const auto& c : cases) {
    fake::FakePlatform fake;
    if (c.stored)
      StoreSetting(fake.registry, u"Language", *c.stored);
    StorePolicy(fake.registry, u"Other", 1);
    if (c.policy) {
      fake.registry.SetRaw(platform::RegistryRoot::kLocalMachine, kStoredPolicyPath, u"Language",
                           c.policy->type, c.policy->data);
    }
    EXPECT_EQ(LookupCaption(fake.platform, u"Calvera", u"DisplayName"), c.displayName) << c.label;
    EXPECT_EQ(fake.registry.OpenHandleCount(), 0u);
  }
}

TEST_F(CaptionsTest, AnUnreadableSettingMeansEnglish) {
  SetLanguage(u"french");
  fake_.registry.FailCall(fake::FakeRegistry::Call::kOpenKey, platform::kErrorAccessDenied);
  EXPECT_EQ(DisplayName(), FromUtf8(kServiceCaptions[0].displayName));
}

TEST_F(CaptionsTest, FormAndControlNamesMatchInAsciiCase) {
  EXPECT_EQ(LookupCaption(fake_.platform, u"CALVERA", u"displayname"),
            FromUtf8(kServiceCaptions[0].displayName));
  EXPECT_EQ(LookupCaption(fake_.platform, u"Calvera", u"DisplayNam"), u"");
}

TEST_F(CaptionsTest, EightBitTablesDecodeInTheSystemsAnsiCodePage) {
  SetLanguage(u"prtbrzl");
  fake_.resources.SetAnsiCodePage(1251);
  EXPECT_EQ(DisplayName(), FromUtf8("Serviзo de Memуria do Calvera"));  // Cyrillic ze and u
  SetLanguage(u"french");
  EXPECT_EQ(DisplayName(), FromUtf8(kServiceCaptions[1].displayName));  // UTF-16 regardless
}

TEST_F(CaptionsTest, TablesWithAUtf8OrBigEndianMarkDecode) {
  struct Case {
    std::u16string resource;
    std::string_view bytes;
  } cases[] = {
      {u"UTF8",
       "\xEF\xBB\xBF"
       "Calvera, DisplayName, \"Calvera \xEC\x84\x9C\xEB\xB9\x84\xEC\x8A\xA4\""},
      {u"Utf16Be",
       "\xFE\xFF\0C\0a\0l\0v\0e\0r\0a\0,\0 \0D\0i\0s\0p\0l\0a\0y\0N\0a\0m\0e\0,\0 \0\"\0C\0a\0l\0v"
       "\0e\0r\0a\0 \xC1\x1C\xBE\x44\xC2\xA4\0\""sv},
  };
  for (const auto& c : cases) {
    fake_.resources.SetRcData(c.resource, c.bytes);
    SetLanguage(c.resource);
    EXPECT_EQ(DisplayName(), FromUtf8("Calvera 서비스")) << ToUtf8(c.resource);
  }
}

TEST_F(CaptionsTest, EveryLookupReadsTheSettingAndTheTableAgain) {
  SetLanguage(u"korean");
  EXPECT_EQ(DisplayName(), FromUtf8(kServiceCaptions[2].displayName));
  SetLanguage(u"russian");
  EXPECT_EQ(DisplayName(), FromUtf8(kServiceCaptions[4].displayName));
  fake_.resources.SetRcData(u"russian", "Calvera, DisplayName, \"Changed\"");
  EXPECT_EQ(DisplayName(), u"Changed");
}

TEST_F(CaptionsTest, AMissingFieldInTheTableEndsTheLookupThere) {
  SetLanguage(u"english");
  fake_.resources.SetRcData(u"english",
                            "Calvera, DisplayName, \"First\"\r\n"
                            "Calvera, DisplayName\r\n"
                            "Calvera, DisplayName, \"Second\"");
  EXPECT_EQ(DisplayName(), u"First");
  fake_.resources.SetRcData(u"english",
                            "Calvera, DisplayName\r\n"
                            "Calvera, DisplayName, \"First\"");
  EXPECT_EQ(DisplayName(), u"");
}

}  // namespace
}  // namespace calvera::config
