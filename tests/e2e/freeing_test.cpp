// A freeing run of the installed service: the companion started beside it once per chunk of
// at most 1024 MB, none waited for, and the period holding back the next run.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/machine.h"
#include "e2e/support/tick_witness.h"
#include "support/decision_model.h"

namespace calvera::e2e {
namespace {

using test_support::DecisionModel;
using test_support::TickReadings;

constexpr Milliseconds kTickTimeout(20000);

TEST(Freeing, ARunStartsTheCompanionOncePerChunkAndThePeriodHoldsBackTheNext) {
  WaitForUptimeGate();
  const std::uint64_t errorsMark = EventLogChannel::Session().Mark();
  ScopedInstalledService service(L"Calvera Freeing");
  const MemoryReading memory = ReadMemory();
  // A share that gives between two and three chunks.
  const auto percent = static_cast<std::int32_t>(
      std::max<std::int64_t>(1, 2500LL * 100 * 1048576 / std::max<std::int64_t>(memory.total, 1)));
  ASSERT_EQ(service.Settings().WriteDword(L"MemoryMaintain", 100), ERROR_SUCCESS);
  ASSERT_EQ(service.Settings().WriteDword(L"MemoryFree", static_cast<std::uint32_t>(percent)),
            ERROR_SUCCESS);
  ASSERT_EQ(service.Settings().WriteDword(L"ProcessorLimit", 0), ERROR_SUCCESS);

  // The first tick of a new service process, with the default period of 5 minutes.
  DecisionModel model;
  model.SetServiceStarted();
  TickReadings readings;
  readings.settings[test_support::kMemoryMaintain] = 100;
  readings.settings[test_support::kMemoryFree] = percent;
  readings.settings[test_support::kProcessorLimit] = 0;
  readings.firstTotal = readings.total = memory.total;
  readings.available = memory.available;
  readings.firstClock = readings.secondClock = NowMs();
  readings.acLineStatus = AcLineStatus();
  const auto decision = model.Decide(readings, [] { return 0.0; });
  ASSERT_TRUE(decision.run);
  std::vector<std::int64_t> expected = test_support::Amounts(decision.chunks);

  ASSERT_TRUE(service.Install());
  ASSERT_TRUE(service.Start());
  const CompanionLog log = service.Companions();
  ASSERT_TRUE(log.WaitForStarts(0, expected.size(), Deadline::After(kTickTimeout)))
      << "starts: " << log.StartedAmountsSince(0).size() << " of " << expected.size();

  // The companions may record their starts in any order; the launch order is the unit
  // tests' to check.
  std::vector<std::int64_t> amounts = log.StartedAmountsSince(0);
  std::sort(amounts.begin(), amounts.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(amounts, expected);
  // Each stand-in ends 1.5 s after its start: a start recorded after an end would mean the
  // service waited for a companion before it started the next.
  const auto records = log.Records();
  const auto firstDone = std::find_if(records.begin(), records.end(),
                                      [](const CompanionRecord& r) { return !r.start; });
  EXPECT_GE(firstDone - records.begin(), static_cast<std::ptrdiff_t>(expected.size()))
      << "no companion is waited for";

  // The next tick after the run's has ended, memory still low: the period must hold it back.
  // It is the tick a period not kept would start the next run on, and a later one would
  // decide no differently. Its launches would be processes by then; they are waited for.
  ASSERT_TRUE(TickWitness(service.Settings()).WaitForTickEnded(Deadline::After(kTickTimeout)));
  ASSERT_TRUE(service.WaitForCompanionsEnded(Deadline::After(kTickTimeout)));
  EXPECT_EQ(log.StartedAmountsSince(0).size(), expected.size())
      << "the period holds back the next run";

  ASSERT_TRUE(service.Stop());
  const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark);
  EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);
}

}  // namespace
}  // namespace calvera::e2e
