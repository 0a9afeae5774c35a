#include <memory>

#include "fake/fake_registry.h"
#include "platform/registry_contract.h"

namespace calvera::contract {
namespace {

platform::Registry* FreshFakeRegistry() {
  static std::unique_ptr<fake::FakeRegistry> registry;
  registry = std::make_unique<fake::FakeRegistry>();
  return registry.get();
}

INSTANTIATE_TEST_SUITE_P(Fake, RegistryContract, ::testing::Values(&FreshFakeRegistry));

}  // namespace
}  // namespace calvera::contract
