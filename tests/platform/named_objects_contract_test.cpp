#include <map>
#include <memory>

#include "fake/fake_named_objects.h"
#include "platform/named_objects_contract.h"

namespace calvera::contract {
namespace {

// Owners are fake processes of one machine; each runs on the test's thread.
class FakeObjects final : public ObjectsUnderTest {
 public:
  NamedObjects& Owner(int n) override {
    auto& owner = owners_[n];
    if (!owner)
      owner = std::make_unique<fake::FakeNamedObjects>(manager_, static_cast<std::uint32_t>(n * 4));
    return *owner;
  }
  void As(int n, const std::function<void()>& work) override {
    Owner(n);
    work();
  }
  void End(int n) override { owners_.erase(n); }

 private:
  fake::FakeObjectManager manager_;
  std::map<int, std::unique_ptr<fake::FakeNamedObjects>> owners_;
};

std::unique_ptr<ObjectsUnderTest> MakeFakeObjects() {
  return std::make_unique<FakeObjects>();
}

INSTANTIATE_TEST_SUITE_P(Fake, NamedObjectsContract, ::testing::Values(&MakeFakeObjects));

}  // namespace
}  // namespace calvera::contract
