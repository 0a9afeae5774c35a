#include "config/custom_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "config/stored_settings.h"
#include "fake/fake_registry.h"

namespace calvera::config {
namespace {

using fake::FakeRegistry;
using platform::RegistryRoot;

using Strings = std::vector<std::u16string>;

constexpr RegistryRoot kRoot = RegistryRoot::kLocalMachine;
const char16_t* const kKey = kSettingsKeyPath;

TEST(RegistryAccessRightsTest, FollowTheViewAndTheProcessBitness) {
  struct Case {
    AccessKind kind;
    bool use64BitView;
    bool processIs64Bit;
    std::uint32_t rights;
  } cases[] = {
      {AccessKind::kRead, false, false, 0x20019}, {AccessKind::kWrite, false, false, 0x20006},
      {AccessKind::kRead, true, false, 0x20119},  {AccessKind::kWrite, true, false, 0x20106},
      {AccessKind::kRead, false, true, 0x20219},  {AccessKind::kWrite, false, true, 0x20206},
      {AccessKind::kRead, true, true, 0x20119},   {AccessKind::kWrite, true, true, 0x20106},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegistryAccessRights(c.kind, c.use64BitView, c.processIs64Bit), c.rights)
        << static_cast<int>(c.kind) << c.use64BitView << c.processIs64Bit;
  }
}

TEST(CustomRegistryTest, EachOperationOpensTheKeyBelowTheRootOnceAndClosesIt) {
  FakeRegistry registry;
  config::StoreSetting(registry, u"ExecutePeriod", 9);
  EXPECT_EQ(ReadRegistryInteger(registry, kRoot, kKey, u"ExecutePeriod", 5, false), 9);
  WriteRegistryBool(registry, kRoot, kKey, u"Updated", false, false);

  const auto openings = registry.Openings();
  ASSERT_EQ(openings.size(), 2u);
  EXPECT_EQ(openings[0].call, FakeRegistry::Call::kOpenKey);
  EXPECT_EQ(openings[0].subKey, u"Software\\Tolvane\\Calvera\\");
  EXPECT_EQ(openings[0].access, RegistryAccessRights(AccessKind::kRead, false, true));
  EXPECT_EQ(openings[1].call, FakeRegistry::Call::kCreateKey);
  EXPECT_EQ(openings[1].access, RegistryAccessRights(AccessKind::kWrite, false, true));
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST(CustomRegistryTest, RefusedAccessGivesTheDefaultAndStoresNothing) {
  FakeRegistry registry;
  config::StoreSetting(registry, u"LoadCalvera", 0);
  registry.DenyAccess(kRoot, config::kStoredSettingsPath);
  EXPECT_TRUE(ReadRegistryBool(registry, kRoot, kKey, u"LoadCalvera", true, false));
  WriteRegistryBool(registry, kRoot, kKey, u"DefragMemory", false, false);
  EXPECT_EQ(registry.SetValueCount(), 0u);
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

TEST(CustomRegistryTest, FailingRegistryFunctionsAreSwallowedAndKeysStillClosed) {
  for (auto call : {FakeRegistry::Call::kOpenKey, FakeRegistry::Call::kQueryValue,
                    FakeRegistry::Call::kCreateKey, FakeRegistry::Call::kSetValue}) {
    FakeRegistry registry;
    config::StoreSetting(registry, u"Language", u"french");
    config::StoreSetting(registry, u"MemoryFree", 70);
    registry.FailCall(call, platform::kErrorNotEnoughMemory);
    const bool readsFail =
        call == FakeRegistry::Call::kOpenKey || call == FakeRegistry::Call::kQueryValue;
    EXPECT_EQ(ReadRegistryString(registry, kRoot, kKey, u"Language", u"english", false),
              readsFail ? u"english" : u"french");
    EXPECT_EQ(ReadRegistryInteger(registry, kRoot, kKey, u"MemoryFree", 60, false),
              readsFail ? 60 : 70);
    WriteRegistryString(registry, kRoot, kKey, u"UpdatedDate", u"86401", false);
    EXPECT_EQ(config::StoredString(registry, u"UpdatedDate").has_value(), readsFail);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

TEST(CustomRegistryTest, AStringWithoutItsNulOrWithAnOddSizeEndsAtItsData) {
  FakeRegistry registry;
  registry.SetRaw(kRoot, config::kStoredSettingsPath, u"NoNul", platform::kRegSz, {'a', 0, 'b', 0});
  registry.SetRaw(kRoot, config::kStoredSettingsPath, u"Odd", platform::kRegSz, {'a', 0, 'b'});
  EXPECT_EQ(ReadRegistryString(registry, kRoot, kKey, u"NoNul", u"x", false), u"ab");
  EXPECT_EQ(ReadRegistryString(registry, kRoot, kKey, u"Odd", u"x", false), u"a");
}

TEST(CustomRegistryTest, ADwordShorterThanFourBytesReadsWithoutStaleBytes) {
  FakeRegistry registry;
  registry.SetRaw(kRoot, config::kStoredSettingsPath, u"Short", platform::kRegDword, {0x05});
  registry.SetRaw(kRoot, config::kStoredSettingsPath, u"NoData", platform::kRegDword, {});
  EXPECT_EQ(ReadRegistryInteger(registry, kRoot, kKey, u"Short", 85, false), 5);
  EXPECT_EQ(ReadRegistryInteger(registry, kRoot, kKey, u"NoData", 85, false), 0);
}

std::vector<std::uint8_t> Data(std::u16string_view units) {
  std::vector<std::uint8_t> data(units.size() * 2);
  if (!units.empty())
    std::memcpy(data.data(), units.data(), data.size());
  return data;
}

Strings ReadExcluded(FakeRegistry& registry) {
  return ReadRegistryMultiString(registry, kRoot, kSettingsKeyPath, kExcludeProcesses, false);
}

TEST(CustomRegistryMultiStringTest, TheListEndsAtItsFirstEmptyString) {
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
    registry.SetRaw(kRoot, config::kStoredSettingsPath, kExcludeProcesses, platform::kRegMultiSz,
                    Data(c.stored));
    EXPECT_EQ(ReadExcluded(registry), c.read) << c.stored.size();
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

TEST(CustomRegistryMultiStringTest, AnyOtherTypeAnAbsentValueOrKeyOrAFailureReadsAsNoList) {
  {
    FakeRegistry registry;
    EXPECT_EQ(ReadExcluded(registry), Strings());
    EXPECT_FALSE(registry.KeyExists(kRoot, config::kStoredSettingsPath));
  }
  for (const std::uint32_t type :
       {platform::kRegSz, platform::kRegExpandSz, platform::kRegBinary}) {
    FakeRegistry registry;
    registry.SetRaw(kRoot, config::kStoredSettingsPath, kExcludeProcesses, type,
                    Data(u"chrome.exe"));
    EXPECT_EQ(ReadExcluded(registry), Strings()) << type;
  }
  for (const FakeRegistry::Call call :
       {FakeRegistry::Call::kOpenKey, FakeRegistry::Call::kQueryValue}) {
    FakeRegistry registry;
    registry.SetRaw(kRoot, config::kStoredSettingsPath, kExcludeProcesses, platform::kRegMultiSz,
                    Data(u"a\0"));
    registry.FailCall(call, platform::kErrorAccessDenied);
    EXPECT_EQ(ReadExcluded(registry), Strings()) << static_cast<int>(call);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
  }
}

TEST(CustomRegistryMultiStringTest, ReadsInTheSettingsViewWithReadRights) {
  FakeRegistry registry;
  registry.SetRaw(kRoot, config::kStoredSettingsPath, kExcludeProcesses, platform::kRegMultiSz,
                  Data(u"a\0\0"));
  ASSERT_EQ(ReadExcluded(registry), Strings{u"a"});
  const auto openings = registry.Openings();
  ASSERT_EQ(openings.size(), 1u);
  EXPECT_EQ(openings[0].call, FakeRegistry::Call::kOpenKey);
  EXPECT_EQ(openings[0].subKey, u"Software\\Tolvane\\Calvera\\");
  EXPECT_EQ(openings[0].access, RegistryAccessRights(AccessKind::kRead, false, true));
}

TEST(CustomRegistryMultiStringTest, AnOddLastByteIsHalfACharacterAndDropped) {
  FakeRegistry registry;
  std::vector<std::uint8_t> data = Data(u"ab");
  data.push_back('c');
  registry.SetRaw(kRoot, config::kStoredSettingsPath, kExcludeProcesses, platform::kRegMultiSz,
                  data);
  EXPECT_EQ(ReadExcluded(registry), Strings{u"ab"});
}

}  // namespace
}  // namespace calvera::config
