// Each registry function that the settings store calls fails in turn, one call at a time, in
// each of the five operations: a read then yields its default, a write stores nothing, and
// every key opened is closed.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/custom_registry.h"
#include "config/settings.h"
#include "config/stored_settings.h"
#include "fault_injection/ledgers.h"
#include "platform/text.h"

namespace calvera::fault_injection {
namespace {

using fake::FakeRegistry;
using Call = FakeRegistry::Call;
using platform::RegistryRoot;

constexpr RegistryRoot kRoot = RegistryRoot::kLocalMachine;
constexpr const char16_t* kKey = config::kSettingsKeyPath;
constexpr platform::ErrorCode kFailure = platform::kErrorNotEnoughMemory;

const char* CallName(Call call) {
  switch (call) {
    case Call::kOpenKey:
      return "RegOpenKeyExW";
    case Call::kCreateKey:
      return "RegCreateKeyExW";
    case Call::kQueryValue:
      return "RegQueryValueExW";
    case Call::kSetValue:
      return "RegSetValueExW";
    case Call::kCloseKey:
      return "RegCloseKey";
  }
  return "?";
}

constexpr Call kAllCalls[] = {Call::kOpenKey, Call::kCreateKey, Call::kQueryValue, Call::kSetValue,
                              Call::kCloseKey};

// One operation of the store and what it gives: a read's result, or the value a write left
// stored ("none" when there is none).
struct Operation {
  const char* name;
  std::function<void(FakeRegistry&)> store;
  std::function<std::u16string(FakeRegistry&)> run;
  std::u16string unharmed;  // when nothing fails
  std::map<Call, std::size_t> calls;
  // Per failing call, its index among the calls of its function, and the outcome.
  std::map<std::pair<Call, std::size_t>, std::u16string> failed;
};

std::u16string StoredText(const FakeRegistry& registry, const char16_t* name) {
  const auto text = config::StoredString(registry, name);
  return text ? *text : u"none";
}

std::u16string StoredNumber(const FakeRegistry& registry, const char16_t* name) {
  const auto number = config::StoredDword(registry, name);
  return number ? ToDecimal(*number) : u"none";
}

std::vector<Operation> Operations() {
  return {
      {"ReadRegistryString",
       [](FakeRegistry& r) { config::StoreSetting(r, u"Language", u"french"); },
       [](FakeRegistry& r) {
         return config::ReadRegistryString(r, kRoot, kKey, u"Language", u"english", false);
       },
       u"french",
       {{Call::kOpenKey, 1}, {Call::kQueryValue, 4}, {Call::kCloseKey, 1}},
       {{{Call::kOpenKey, 0}, u"english"},
        {{Call::kQueryValue, 0}, u"english"},  // the first reading's size: empty, the default
        {{Call::kQueryValue, 1}, u"english"},  // its data
        // The second reading's size: that reading is empty, and it is the result.
        {{Call::kQueryValue, 2}, u""},
        {{Call::kQueryValue, 3}, u"english"},  // its data: the read fails
        {{Call::kCloseKey, 0}, u"french"}}},
      {"ReadRegistryInteger",
       [](FakeRegistry& r) { config::StoreSetting(r, u"MemoryFree", 70); },
       [](FakeRegistry& r) {
         return ToDecimal(config::ReadRegistryInteger(r, kRoot, kKey, u"MemoryFree", 60, false));
       },
       u"70",
       {{Call::kOpenKey, 1}, {Call::kQueryValue, 1}, {Call::kCloseKey, 1}},
       {{{Call::kOpenKey, 0}, u"60"},
        {{Call::kQueryValue, 0}, u"60"},
        {{Call::kCloseKey, 0}, u"70"}}},
      {"ReadRegistryBool",
       [](FakeRegistry& r) { config::StoreSetting(r, u"LoadCalvera", 0); },
       [](FakeRegistry& r) {
         return config::ReadRegistryBool(r, kRoot, kKey, u"LoadCalvera", true, false) ? u"true"
                                                                                      : u"false";
       },
       u"false",
       {{Call::kOpenKey, 1}, {Call::kQueryValue, 1}, {Call::kCloseKey, 1}},
       {{{Call::kOpenKey, 0}, u"true"},
        {{Call::kQueryValue, 0}, u"true"},
        {{Call::kCloseKey, 0}, u"false"}}},
      {"WriteRegistryString",
       [](FakeRegistry&) {},
       [](FakeRegistry& r) {
         config::WriteRegistryString(r, kRoot, kKey, u"UpdatedDate", u"86401", false);
         return StoredText(r, u"UpdatedDate");
       },
       u"86401",
       {{Call::kCreateKey, 1}, {Call::kSetValue, 1}, {Call::kCloseKey, 1}},
       {{{Call::kCreateKey, 0}, u"none"},
        {{Call::kSetValue, 0}, u"none"},
        {{Call::kCloseKey, 0}, u"86401"}}},
      {"WriteRegistryBool",
       [](FakeRegistry& r) { config::StoreSetting(r, u"DefragMemory", 1); },
       [](FakeRegistry& r) {
         config::WriteRegistryBool(r, kRoot, kKey, u"DefragMemory", false, false);
         return StoredNumber(r, u"DefragMemory");
       },
       u"0",
       {{Call::kCreateKey, 1}, {Call::kSetValue, 1}, {Call::kCloseKey, 1}},
       {{{Call::kCreateKey, 0}, u"1"}, {{Call::kSetValue, 0}, u"1"}, {{Call::kCloseKey, 0}, u"0"}}},
  };
}

TEST(SettingsStoreFaultsTest, EachRegistryCallFailsInTurn) {
  for (const Operation& operation : Operations()) {
    SCOPED_TRACE(operation.name);
    {
      LedgeredPlatform fake;
      operation.store(fake.registry);
      EXPECT_EQ(operation.run(fake.registry), operation.unharmed);
      // The table below covers exactly the calls the operation makes.
      for (const Call call : kAllCalls) {
        const auto expected = operation.calls.find(call);
        EXPECT_EQ(fake.registry.CallCount(call),
                  expected == operation.calls.end() ? 0 : expected->second)
            << CallName(call);
      }
    }
    for (const auto& [call, count] : operation.calls) {
      for (std::size_t index = 0; index < count; ++index) {
        SCOPED_TRACE(testing::Message() << CallName(call) << " #" << index + 1 << " fails");
        const auto outcome = operation.failed.find({call, index});
        ASSERT_NE(outcome, operation.failed.end());
        LedgeredPlatform fake;
        operation.store(fake.registry);
        fake.registry.FailCall(call, kFailure, 1, static_cast<int>(index));
        EXPECT_EQ(ToUtf8(operation.run(fake.registry)), ToUtf8(outcome->second));
      }
    }
  }
}

TEST(SettingsStoreFaultsTest, AWriteWhoseValueCannotBeStoredLeavesTheKeyItCreated) {
  LedgeredPlatform fake;
  fake.registry.FailCall(Call::kSetValue, kFailure);
  config::WriteRegistryBool(fake.registry, kRoot, kKey, u"Updated", false, false);
  EXPECT_TRUE(fake.registry.KeyExists(kRoot, config::kStoredSettingsPath));
  EXPECT_FALSE(fake.registry.GetValue(kRoot, config::kStoredSettingsPath, u"Updated"));
}

}  // namespace
}  // namespace calvera::fault_injection
