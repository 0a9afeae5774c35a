#include <memory>

#include "fake/fake_service_control_manager.h"
#include "platform/service_manager_contract.h"

namespace calvera::contract {
namespace {

platform::ServiceControlManager* FreshFakeManager() {
  static std::unique_ptr<fake::FakeServiceControlManager> services;
  services = std::make_unique<fake::FakeServiceControlManager>();
  return services.get();
}

INSTANTIATE_TEST_SUITE_P(Fake, ServiceManagerContract, ::testing::Values(&FreshFakeManager));

}  // namespace
}  // namespace calvera::contract
