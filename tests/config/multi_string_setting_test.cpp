#include "config/multi_string_setting.h"

#include <gtest/gtest.h>

#include <cstring>

#include "config/custom_registry.h"
#include "config/settings.h"
#include "fake/fake_registry.h"

namespace calvera::config {
namespace {

using fake::FakeRegistry;
using platform::RegistryRoot;
using Strings = std::vector<std::u16string>;

constexpr RegistryRoot kRoot = RegistryRoot::kLocalMachine;
// Where the default view puts the settings for a 64-bit process, as the fake stores them.
const std::u16string kStored = u"Software\\Wow6432Node\\Tolvane\\Calvera";

std::vector<std::uint8_t> Data(std::u16string_view units) {
  std::vector<std::uint8_t> data(units.size() * 2);
  if (!units.empty())
    std::memcpy(data.data(), units.data(), data.size());
  return data;
}

Strings Read(FakeRegistry& registry) {
  return ReadRegistryMultiString(registry, kRoot, kSettingsKeyPath, kExcludeProcesses, false);
}

TEST(MultiStringSettingTest, TheListEndsAtItsFirstEmptyString) {
  using namespace std::string_view_literals;
  struct Case {
    std::u16string_view stored;
    Strings read;
  } cases[] = {
      {u"chrome.exe\0Teams.exe\0\0"sv, {u"chrome.exe", u"Teams.exe"}},
      {u"one\0\0"sv, {u"one"}},
      {u"\0"sv, {}},
      {u""sv, {}},
      // Written without its final NULs, the list ends with its data.
      {u"a\0b"sv, {u"a", u"b"}},
      {u"a\0b\0"sv, {u"a", u"b"}},
      // What follows the end of the list is not part of it.
      {u"a\0\0b\0\0"sv, {u"a"}},
      {u"\0a\0\0"sv, {}},
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    registry.SetRaw(kRoot, kStored, kExcludeProcesses, platform::kRegMultiSz, Data(c.stored));
    EXPECT_EQ(Read(registry), c.read) << c.stored.size();
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

TEST(MultiStringSettingTest, AnyOtherTypeAnAbsentValueOrKeyOrAFailureReadsAsNoList) {
  {
    FakeRegistry registry;
    EXPECT_EQ(Read(registry), Strings());
    EXPECT_FALSE(registry.KeyExists(kRoot, kStored));
  }
  for (const std::uint32_t type : {platform::kRegSz, platform::kRegExpandSz, platform::kRegBinary}) {
    FakeRegistry registry;
    registry.SetRaw(kRoot, kStored, kExcludeProcesses, type, Data(u"chrome.exe"));
    EXPECT_EQ(Read(registry), Strings()) << type;
  }
  for (const FakeRegistry::Call call : {FakeRegistry::Call::kOpenKey, FakeRegistry::Call::kQueryValue}) {
    FakeRegistry registry;
    registry.SetRaw(kRoot, kStored, kExcludeProcesses, platform::kRegMultiSz, Data(u"a\0"));
    registry.FailCall(call, platform::kErrorAccessDenied);
    EXPECT_EQ(Read(registry), Strings()) << static_cast<int>(call);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

TEST(MultiStringSettingTest, ReadsInTheSettingsViewWithReadRights) {
  FakeRegistry registry;
  registry.SetRaw(kRoot, kStored, kExcludeProcesses, platform::kRegMultiSz, Data(u"a\0\0"));
  ASSERT_EQ(Read(registry), Strings{u"a"});
  const auto openings = registry.Openings();
  ASSERT_EQ(openings.size(), 1u);
  EXPECT_EQ(openings[0].call, FakeRegistry::Call::kOpenKey);
  EXPECT_EQ(openings[0].subKey, u"Software\\Tolvane\\Calvera\\");
  EXPECT_EQ(openings[0].access, RegistryAccessRights(AccessKind::kRead, false, true));
}

TEST(MultiStringSettingTest, AnOddLastByteIsHalfACharacterAndDropped) {
  FakeRegistry registry;
  std::vector<std::uint8_t> data = Data(u"ab");
  data.push_back('c');
  registry.SetRaw(kRoot, kStored, kExcludeProcesses, platform::kRegMultiSz, data);
  EXPECT_EQ(Read(registry), Strings{u"ab"});
}

}  // namespace
}  // namespace calvera::config
