#include "platform/registry_contract.h"
#include "platform/win32/win32_platform.h"

namespace calvera::contract {
namespace {

platform::Registry* RealRegistry() {
  return &platform::Win32Platform().registry;
}

INSTANTIATE_TEST_SUITE_P(Windows, RegistryContract, ::testing::Values(&RealRegistry));

}  // namespace
}  // namespace calvera::contract
