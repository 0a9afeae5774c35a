// What the settings store relies on from the registry, as one suite that runs against the fake
// (host) and against the real registry under Wine, so that the two cannot drift apart.
// Include from exactly one test file per executable and instantiate with a registry factory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/custom_registry.h"
#include "config/policy_key.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"

namespace calvera::contract {

using platform::Registry;
using platform::RegistryRoot;

// Returns the registry to test; a fresh one for each test where it can.
using RegistryFactory = Registry* (*)();

class RegistryContract : public ::testing::TestWithParam<RegistryFactory> {
 protected:
  static constexpr RegistryRoot kRoot = RegistryRoot::kLocalMachine;
  static constexpr char16_t kScratch[] = u"Software\\CalveraRegistryContract";
  static constexpr char16_t kPolicyScratch[] = u"Software\\Policies\\CalveraRegistryContract";

  void SetUp() override {
    registry_ = GetParam()();
    RemoveScratch();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info->name();
    keyPath_ =
        std::u16string(u"\\") + kScratch + u"\\" + std::u16string(name.begin(), name.end()) + u"\\";
  }
  void TearDown() override { RemoveScratch(); }

  void RemoveScratch() {
    static_cast<void>(registry_->DeleteTree(kRoot, kScratch, platform::kKeyWow64_32Key));
    static_cast<void>(registry_->DeleteTree(kRoot, kScratch, platform::kKeyWow64_64Key));
    static_cast<void>(registry_->DeleteTree(kRoot, kPolicyScratch, platform::kKeyWow64_64Key));
  }

  // The settings key of the test without its leading backslash, for the raw functions.
  std::u16string SubKey() const { return keyPath_.substr(1); }

  // Stores raw data in the view the settings store uses by default.
  void Put(const char16_t* name, std::uint32_t type, const void* data, std::uint32_t size) {
    platform::ScopedRegistryKey key(*registry_);
    const auto access =
        config::RegistryAccessRights(config::AccessKind::kWrite, false, platform::kProcessIs64Bit);
    ASSERT_EQ(registry_->CreateKey(kRoot, SubKey().c_str(), access, key.put()), 0u);
    ASSERT_EQ(registry_->SetValue(key.get(), name, type, data, size), 0u);
  }
  void PutText(const char16_t* name, std::uint32_t type, const std::u16string& text) {
    Put(name, type, text.data(), static_cast<std::uint32_t>((text.size() + 1) * 2));
  }

  // Type and data of a value, read in the given view; type 0 when it cannot be read.
  struct Stored {
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
  };
  Stored Get(const std::u16string& subKey, const char16_t* name, std::uint32_t view) {
    Stored stored;
    platform::ScopedRegistryKey key(*registry_);
    if (registry_->OpenKey(kRoot, subKey.c_str(), platform::kKeyRead | view, key.put()) != 0) {
      return stored;
    }
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    if (registry_->QueryValue(key.get(), name, &type, nullptr, &size) != 0)
      return stored;
    stored.data.resize(size);
    if (registry_->QueryValue(key.get(), name, &type, stored.data.data(), &size) != 0)
      return stored;
    stored.type = type;
    return stored;
  }
  bool KeyExists(const std::u16string& subKey, std::uint32_t view) {
    platform::ScopedRegistryKey key(*registry_);
    return registry_->OpenKey(kRoot, subKey.c_str(), platform::kKeyRead | view, key.put()) == 0;
  }

  std::u16string ReadString(const char16_t* name) {
    return config::ReadRegistryString(*registry_, kRoot, keyPath_.c_str(), name, u"fallback",
                                      false);
  }
  std::int32_t ReadInteger(const char16_t* name) {
    return config::ReadRegistryInteger(*registry_, kRoot, keyPath_.c_str(), name, -12345, false);
  }

  Registry* registry_ = nullptr;
  std::u16string keyPath_;
};

TEST_P(RegistryContract, StringsAreReadAsStoredUpToTheFirstNul) {
  PutText(u"Expand", platform::kRegExpandSz, u"%SystemRoot%\\calvera");
  PutText(u"InnerNul", platform::kRegSz, std::u16string(u"abc\0def", 7));
  PutText(u"Empty", platform::kRegSz, u"");
  const std::uint32_t dword = 7;
  Put(u"Dword", platform::kRegDword, &dword, 4);

  EXPECT_EQ(ReadString(u"Expand"), u"%SystemRoot%\\calvera");
  EXPECT_EQ(ReadString(u"InnerNul"), u"abc");
  EXPECT_EQ(ReadString(u"Empty"), u"fallback");
  EXPECT_EQ(ReadString(u"Dword"), u"fallback");
  EXPECT_EQ(ReadString(u"Missing"), u"fallback");
}

TEST_P(RegistryContract, IntegersNeedADwordOfAtMostFourBytes) {
  const std::int32_t minusFive = -5;
  const std::uint32_t two = 2;
  const std::uint64_t wide = 1;
  const unsigned char binary[4] = {1, 0, 0, 0};
  Put(u"Negative", platform::kRegDword, &minusFive, 4);
  Put(u"Two", platform::kRegDword, &two, 4);
  Put(u"LongDword", platform::kRegDword, &wide, 8);
  Put(u"Qword", platform::kRegQword, &wide, 8);
  Put(u"Binary", platform::kRegBinary, binary, 4);
  PutText(u"Digits", platform::kRegSz, u"42");

  EXPECT_EQ(ReadInteger(u"Negative"), -5);
  EXPECT_TRUE(config::ReadRegistryBool(*registry_, kRoot, keyPath_.c_str(), u"Two", false, false));
  EXPECT_EQ(ReadInteger(u"LongDword"), -12345);
  EXPECT_EQ(ReadInteger(u"Qword"), -12345);
  EXPECT_EQ(ReadInteger(u"Binary"), -12345);
  EXPECT_EQ(ReadInteger(u"Digits"), -12345);
  EXPECT_TRUE(
      config::ReadRegistryBool(*registry_, kRoot, keyPath_.c_str(), u"Digits", true, false));
  EXPECT_FALSE(
      config::ReadRegistryBool(*registry_, kRoot, keyPath_.c_str(), u"Digits", false, false));
}

TEST_P(RegistryContract, ReadsLeaveAMissingKeyAbsent) {
  EXPECT_EQ(ReadString(u"Language"), u"fallback");
  EXPECT_EQ(ReadInteger(u"ExecutePeriod"), -12345);
  EXPECT_TRUE(
      config::ReadRegistryBool(*registry_, kRoot, keyPath_.c_str(), u"LoadCalvera", true, false));
  EXPECT_FALSE(KeyExists(SubKey(), platform::kKeyWow64_32Key));
  EXPECT_FALSE(KeyExists(SubKey(), platform::kKeyWow64_64Key));
}

TEST_P(RegistryContract, WritesCreateMissingKeysAndStoreTheNul) {
  const std::u16string deep = keyPath_ + u"Deeper\\Still\\";
  config::WriteRegistryBool(*registry_, kRoot, deep.c_str(), u"Flag", true, false);
  config::WriteRegistryBool(*registry_, kRoot, deep.c_str(), u"Off", false, false);
  config::WriteRegistryString(*registry_, kRoot, deep.c_str(), u"Text", u"1234567", false);

  const std::uint32_t view = platform::kProcessIs64Bit ? platform::kKeyWow64_32Key : 0;
  const Stored flag = Get(deep.substr(1), u"Flag", view);
  const Stored off = Get(deep.substr(1), u"Off", view);
  const Stored text = Get(deep.substr(1), u"Text", view);
  EXPECT_EQ(flag.type, platform::kRegDword);
  EXPECT_EQ(flag.data, (std::vector<unsigned char>{1, 0, 0, 0}));
  EXPECT_EQ(off.data, (std::vector<unsigned char>{0, 0, 0, 0}));
  EXPECT_EQ(text.type, platform::kRegSz);
  EXPECT_EQ(text.data.size(), 16u);  // seven characters and the NUL
  EXPECT_EQ(config::ReadRegistryString(*registry_, kRoot, deep.c_str(), u"Text", u"", false),
            u"1234567");
}

TEST_P(RegistryContract, TheDefaultViewIsTheOneA32BitProcessSees) {
  if (!platform::kProcessIs64Bit)
    GTEST_SKIP() << "a 32-bit process has only the one view";
  config::WriteRegistryBool(*registry_, kRoot, keyPath_.c_str(), u"Shared", true, false);
  config::WriteRegistryBool(*registry_, kRoot, keyPath_.c_str(), u"Native", true, true);

  const std::u16string below = SubKey().substr(std::u16string(u"Software\\").size());
  const std::u16string redirected = u"Software\\Wow6432Node\\" + below;
  EXPECT_EQ(Get(redirected, u"Shared", platform::kKeyWow64_64Key).type, platform::kRegDword);
  EXPECT_EQ(Get(SubKey(), u"Shared", platform::kKeyWow64_64Key).type, 0u);
  EXPECT_EQ(Get(SubKey(), u"Native", platform::kKeyWow64_64Key).type, platform::kRegDword);
  EXPECT_EQ(Get(SubKey(), u"Native", platform::kKeyWow64_32Key).type, 0u);
}

// Software\Policies is shared: what one view writes there, the other reads, and the policy
// key's rights reach it from either.
TEST_P(RegistryContract, PoliciesAreOneKeyInBothViews) {
  const std::u16string subKey = std::u16string(kPolicyScratch) + u"\\Shared";
  const std::uint32_t written = 7;
  {
    platform::ScopedRegistryKey key(*registry_);
    ASSERT_EQ(registry_->CreateKey(kRoot, subKey.c_str(),
                                   platform::kKeyWrite | platform::kKeyWow64_32Key, key.put()),
              0u);
    ASSERT_EQ(registry_->SetValue(key.get(), u"Value", platform::kRegDword, &written, 4), 0u);
  }
  for (const std::uint32_t view :
       {platform::kKeyWow64_32Key, platform::kKeyWow64_64Key, std::uint32_t{0}}) {
    EXPECT_EQ(Get(subKey, u"Value", view).type, platform::kRegDword) << "view " << view;
  }
  platform::ScopedRegistryKey key(*registry_);
  ASSERT_EQ(registry_->OpenKey(kRoot, subKey.c_str(), config::PolicyKeyAccessRights(), key.put()),
            0u);
  EXPECT_EQ(config::ReadDwordValue(*registry_, key.get(), u"Value"), 7);
}

}  // namespace calvera::contract
