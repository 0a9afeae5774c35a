// The ledgers that every fault-injection case ends with notice each kind of handle left behind
// and each close of a handle that was not open; otherwise the sweep would prove nothing.
#include "fault_injection/ledgers.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace calvera::fault_injection {
namespace {

struct Slip {
  const char* complaint;
  std::function<void(fake::FakePlatform&)> make;
};

TEST(LedgersTest, NoticeWhatIsLeftOpenAndWhatIsClosedWithoutBeingOpen) {
  const Slip slips[] = {
      {"registry keys left open",
       [](fake::FakePlatform& f) {
         platform::RegistryKeyHandle key{};
         ASSERT_EQ(f.registry.CreateKey(platform::RegistryRoot::kLocalMachine, u"Software\\A",
                                        platform::kKeyWrite, &key),
                   0u);
       }},
      {"registry keys closed that were not open",
       [](fake::FakePlatform& f) { f.registry.CloseKey(platform::RegistryKeyHandle{0x1234}); }},
      {"libraries left loaded", [](fake::FakePlatform& f) { f.libraries.Load(u"ntdll.dll"); }},
      {"libraries freed that were not loaded",
       [](fake::FakePlatform& f) { f.libraries.Free(platform::LibraryHandle{0x1234}); }},
      {"service handles left open",
       [](fake::FakePlatform& f) {
         platform::ServiceHandle manager{};
         ASSERT_EQ(f.services.OpenManager(platform::kScManagerAllAccess, &manager), 0u);
       }},
      {"service handles closed that were not open",
       [](fake::FakePlatform& f) {
         f.services.CloseServiceHandle(platform::ServiceHandle{0x1234});
       }},
      {"event sources left registered",
       [](fake::FakePlatform& f) { f.eventLog.RegisterSource(u"Calvera"); }},
      {"event sources deregistered that were not registered",
       [](fake::FakePlatform& f) {
         f.eventLog.DeregisterSource(platform::EventSourceHandle{0x1234});
       }},
      {"COM initializations not undone", [](fake::FakePlatform& f) { f.process.CoInitialize(); }},
  };
  for (const Slip& slip : slips) {
    SCOPED_TRACE(slip.complaint);
    fake::FakePlatform fake;
    slip.make(fake);
    EXPECT_NONFATAL_FAILURE(ExpectLedgersBalance(fake), slip.complaint);
  }
  fake::FakePlatform untouched;
  ExpectLedgersBalance(untouched);
}

}  // namespace
}  // namespace calvera::fault_injection
