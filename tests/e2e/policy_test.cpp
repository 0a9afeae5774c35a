// The policy key that management tools write, read by the installed service over its settings:
// a policy value decides the tick where the settings key says otherwise, and the settings key
// decides again once the policy value is gone.
#include <gtest/gtest.h>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/machine.h"
#include "e2e/support/settings_key.h"
#include "e2e/support/tick_witness.h"

namespace calvera::e2e {
namespace {

constexpr Milliseconds kTickTimeout(20000);

class Policy : public testing::Test {
 protected:
  // Companion starts recorded so far, once every tick begun up to now has ended and every
  // companion it launched has run: a tick that begins after this decides by what is stored.
  testing::AssertionResult Settle(std::size_t* starts) {
    if (!TickWitness(service_.Settings()).WaitForTickEnded(Deadline::After(kTickTimeout)))
      return testing::AssertionFailure() << "no tick ended";
    if (!service_.WaitForCompanionsEnded(Deadline::After(kTickTimeout)))
      return testing::AssertionFailure() << "companions still running";
    *starts = service_.Companions().StartedAmountsSince(0).size();
    return testing::AssertionSuccess();
  }

  ScopedPolicyKey policy_;
  ScopedInstalledService service_{L"Calvera Policy"};
};

TEST_F(Policy, APolicyValueDecidesOverTheSettingsKey) {
  WaitForUptimeGate();
  const std::uint64_t errorsMark = EventLogChannel::Session().Mark();
  // The settings ask for a run of 1 % of the memory on every tick.
  const SettingsKey& settings = service_.Settings();
  ASSERT_EQ(settings.WriteDword(L"MemoryMaintain", 100), ERROR_SUCCESS);
  ASSERT_EQ(settings.WriteDword(L"MemoryFree", 1), ERROR_SUCCESS);
  ASSERT_EQ(settings.WriteDword(L"ProcessorLimit", 0), ERROR_SUCCESS);
  ASSERT_EQ(settings.WriteDword(L"ExecutePeriod", 0), ERROR_SUCCESS);
  ASSERT_EQ(settings.WriteDword(L"LoadCalvera", 1), ERROR_SUCCESS);
  // The policy turns freeing off.
  ASSERT_EQ(policy_.WriteDword(L"LoadCalvera", 0), ERROR_SUCCESS);
  ASSERT_EQ(policy_.WriteDword(L"DefragMemory", 0), ERROR_SUCCESS);

  ASSERT_TRUE(service_.Install());
  ASSERT_TRUE(service_.Start());
  std::size_t starts = 0;
  ASSERT_TRUE(Settle(&starts));
  EXPECT_EQ(starts, 0u) << "the policy's LoadCalvera and DefragMemory 0 hold every run back";

  // Without the policy's DefragMemory, its default 1 opens the enable gate again.
  ASSERT_EQ(policy_.Delete(L"DefragMemory"), ERROR_SUCCESS);
  const CompanionLog log = service_.Companions();
  ASSERT_TRUE(log.WaitForStarts(starts, 1, Deadline::After(kTickTimeout)))
      << "no run once the policy's DefragMemory is gone";

  // The policy's level of 0 % wins over the settings key's 100 %: memory is never that low.
  ASSERT_EQ(policy_.WriteDword(L"MemoryMaintain", 0), ERROR_SUCCESS);
  ASSERT_TRUE(Settle(&starts));
  std::size_t later = 0;
  ASSERT_TRUE(Settle(&later));
  EXPECT_EQ(later, starts) << "the policy's MemoryMaintain 0 holds every run back";

  // Nothing of the service's own goes to the policy key.
  const auto written = policy_.Snapshot();
  EXPECT_EQ(written.size(), 2u);
  EXPECT_FALSE(written.count(L"UpdatedDate"));

  ASSERT_TRUE(service_.Stop());
  const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark);
  EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);
}

}  // namespace
}  // namespace calvera::e2e
