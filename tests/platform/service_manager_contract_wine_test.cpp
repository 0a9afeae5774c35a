#include "platform/service_manager_contract.h"
#include "platform/win32/win32_platform.h"

namespace calvera::contract {
namespace {

platform::ServiceControlManager* RealManager() {
  return &platform::Win32Platform().services;
}

INSTANTIATE_TEST_SUITE_P(Windows, ServiceManagerContract, ::testing::Values(&RealManager));

}  // namespace
}  // namespace calvera::contract
