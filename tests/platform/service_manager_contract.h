// What installation relies on from the Service Control Manager's installer side, as one suite
// that runs against the fake (host) and against the real manager under Wine, so that the two
// cannot drift apart. Each test works on a scratch entry that nothing starts. Include from
// exactly one test file per executable and instantiate with a manager factory.
#pragma once

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"
#include "platform/service_control_manager.h"

namespace calvera::contract {

using platform::ServiceControlManager;

// Returns the manager to test; a fresh one for each test where it can.
using ServiceManagerFactory = ServiceControlManager* (*)();

class ServiceManagerContract : public ::testing::TestWithParam<ServiceManagerFactory> {
 protected:
  static constexpr char16_t kScratch[] = u"CalveraContractProbe";

  void SetUp() override {
    services_ = GetParam()();
    manager_ = platform::ScopedServiceHandle(*services_);
    ASSERT_EQ(services_->OpenManager(platform::kScManagerAllAccess, manager_.put()), 0u);
    RemoveScratch();
  }
  void TearDown() override { RemoveScratch(); }

  // Deletes the scratch entry when one is left; it goes once its handles are closed.
  void RemoveScratch() {
    platform::ScopedServiceHandle entry(*services_);
    if (services_->OpenServiceEntry(manager_.get(), kScratch, platform::kServiceAllAccess,
                                    entry.put()) == 0) {
      static_cast<void>(services_->DeleteServiceEntry(entry.get()));
    }
  }

  platform::ErrorCode Create(platform::ScopedServiceHandle& entry) {
    platform::ServiceDefinition definition;
    definition.serviceName = kScratch;
    definition.displayName = kScratch;
    definition.desiredAccess = platform::kServiceAllAccess;
    definition.serviceType = platform::kServiceWin32OwnProcess;
    definition.startType = platform::kServiceDemandStart;
    definition.errorControl = platform::kServiceErrorNormal;
    definition.binaryPathName = u"C:\\windows\\notepad.exe";
    definition.loadOrderGroup = u"";
    definition.dependencies = u"";
    definition.password = u"";
    return services_->CreateServiceEntry(manager_.get(), definition, entry.put());
  }

  ServiceControlManager* services_ = nullptr;
  platform::ScopedServiceHandle manager_;
};

TEST_P(ServiceManagerContract, AnEntryIsCreatedOnceAndOpenedByItsName) {
  platform::ScopedServiceHandle created(*services_);
  ASSERT_EQ(Create(created), 0u);
  platform::ScopedServiceHandle again(*services_);
  EXPECT_EQ(Create(again), platform::kErrorServiceExists);
  EXPECT_FALSE(again);
  platform::ScopedServiceHandle opened(*services_);
  EXPECT_EQ(services_->OpenServiceEntry(manager_.get(), kScratch, platform::kServiceAllAccess,
                                        opened.put()),
            0u);
  EXPECT_TRUE(opened);
}

TEST_P(ServiceManagerContract, ADeletedEntryGoesWithItsLastHandle) {
  platform::ScopedServiceHandle created(*services_);
  ASSERT_EQ(Create(created), 0u);
  EXPECT_EQ(services_->DeleteServiceEntry(created.get()), 0u);
  created.reset();
  platform::ScopedServiceHandle opened(*services_);
  EXPECT_EQ(services_->OpenServiceEntry(manager_.get(), kScratch, platform::kServiceAllAccess,
                                        opened.put()),
            platform::kErrorServiceDoesNotExist);
  EXPECT_FALSE(opened);
}

// The installation's recovery actions: accepted on the entry it has just created with every
// right, refused on a handle without the right to change the configuration or with none. (Wine's
// manager accepts them and keeps nothing, so what is stored is the fake's own test.)
TEST_P(ServiceManagerContract, RecoveryActionsNeedTheRightToChangeTheConfiguration) {
  const platform::ServiceRecoveryAction actions[] = {{platform::kScActionRestart, 60000},
                                                     {platform::kScActionNone, 0}};
  const platform::ServiceFailureActions recovery{86400, actions};
  platform::ScopedServiceHandle created(*services_);
  ASSERT_EQ(Create(created), 0u);
  EXPECT_EQ(services_->ChangeFailureActions(created.get(), recovery), 0u);

  platform::ScopedServiceHandle queryOnly(*services_);
  ASSERT_EQ(services_->OpenServiceEntry(manager_.get(), kScratch, platform::kServiceQueryStatus,
                                        queryOnly.put()),
            0u);
  EXPECT_EQ(services_->ChangeFailureActions(queryOnly.get(), recovery),
            platform::kErrorAccessDenied);
  EXPECT_EQ(services_->ChangeFailureActions(platform::ServiceHandle{}, recovery),
            platform::kErrorInvalidHandle);
}

}  // namespace calvera::contract
