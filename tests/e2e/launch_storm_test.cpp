// Memory held low with no period between runs, so that the service starts the companion on
// every tick for a minute. Meanwhile it must answer pause, continue and interrogate within a
// deadline, keep its resident memory flat and not let companions pile up; at the end it stops
// in time and nothing has been logged. Once beside the stand-in, whose log shows every start,
// and once beside the real companion, whose first run falls short under Wine and whose cooldown
// then counts and drops the requests of every later tick: its records and its stored state
// together hold about one request a second.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/support/companion_runs.h"
#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/processes.h"

namespace calvera::e2e {
namespace {

constexpr std::uint64_t kStormMs = 60000;
constexpr std::uint64_t kControlWithinMs = 1000;
constexpr std::uint64_t kControlRoundMs = 5000;
constexpr Milliseconds kSamplePeriod(500);
// The stand-in lives 1.5 s and one starts a second; a few more may overlap while Wine is slow
// to start or end them.
constexpr std::size_t kCompanionLimit = 5;
// Resident memory may grow by this much from its level of the 10th to the 25th second.
constexpr std::uint64_t kResidentMarginBytes = 2048 * 1024;
constexpr std::uint64_t kResidentMarginPercent = 10;
// A pause and continue restarts the timer; no more than a few ticks may pass without a start.
constexpr std::uint64_t kLongestGapMs = 4000;

struct StormCompanion {
  const char* name;
  std::wstring program;
  bool standIn;  // its log shows every start
};

void PrintTo(const StormCompanion& companion, std::ostream* out) {
  *out << companion.name;
}

class LaunchStorm : public testing::TestWithParam<StormCompanion> {};

TEST_P(LaunchStorm, AMinuteOfLaunchesOnEveryTick) {
  WaitForUptimeGate();
  const std::uint64_t errorsMark = EventLogChannel::Session().Mark();
  ScopedInstalledService service(L"Calvera Launch Storm", GetParam().program);
  // One companion of 1 % of the memory per tick, whatever the processor load.
  for (const auto& [name, value] : {std::pair{L"MemoryMaintain", 100u},
                                    {L"MemoryFree", 1u},
                                    {L"ExecutePeriod", 0u},
                                    {L"ProcessorLimit", 0u}}) {
    ASSERT_EQ(service.Settings().WriteDword(name, value), ERROR_SUCCESS);
  }
  ASSERT_TRUE(service.Install());
  ASSERT_TRUE(service.Start());
  ServiceController controller = service.Controller();
  const DWORD process = controller.ProcessId();
  ASSERT_NE(process, 0u);

  struct Sample {
    std::uint64_t atMs;
    std::uint64_t residentBytes;
  };
  std::vector<Sample> resident;
  std::size_t mostCompanions = 0;
  std::uint64_t slowestMs = 0;
  std::string late;
  const std::uint64_t began = NowMs();
  std::uint64_t nextRound = began;
  const auto await = [&](DWORD control, DWORD state, const char* what) {
    const StateTrace trace = controller.Await(control, state, Milliseconds(5000));
    slowestMs = std::max(slowestMs, trace.elapsedMs);
    if ((!trace.reached || trace.elapsedMs > kControlWithinMs) && late.empty()) {
      late = std::string(what) + " at " + std::to_string((NowMs() - began) / 1000) +
             " s: " + trace.Describe();
    }
  };
  // The storm's own length: sampling every half second, controls every five.
  while (NowMs() - began < kStormMs) {
    mostCompanions = std::max(mostCompanions, ProcessesNamed(L"CalveraDefrag.exe").size());
    if (NowMs() >= nextRound) {
      resident.push_back({NowMs() - began, ResidentBytes(process).value_or(0)});
      await(SERVICE_CONTROL_PAUSE, SERVICE_PAUSED, "pause");
      await(SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, "continue");
      await(SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING, "interrogate");
      nextRound = NowMs() + kControlRoundMs;
    }
    Sleep(static_cast<DWORD>(kSamplePeriod.count()));
  }
  resident.push_back({NowMs() - began, ResidentBytes(process).value_or(0)});

  std::string residentText;
  for (const Sample& sample : resident) {
    residentText += " " + std::to_string(sample.atMs / 1000) + ":" +
                    std::to_string(sample.residentBytes / 1024);
  }
  std::printf(
      "    resident kB by second:%s\n    slowest control %llu ms, at most %zu companions at once\n",
      residentText.c_str(), static_cast<unsigned long long>(slowestMs), mostCompanions);

  EXPECT_EQ(StateName(controller.State()), "RUNNING") << "the service still runs";
  EXPECT_EQ(late, "") << "every control is answered within " << kControlWithinMs << " ms";
  EXPECT_LE(mostCompanions, kCompanionLimit) << "companions at once";

  // Flat: no sample of the last 15 s above the highest of the 10th to 25th second by more than
  // the margin.
  std::uint64_t early = 0;
  std::uint64_t latest = 0;
  for (const Sample& sample : resident) {
    if (sample.atMs >= 10000 && sample.atMs <= 25000)
      early = std::max(early, sample.residentBytes);
    if (sample.atMs + 15000 >= kStormMs)
      latest = std::max(latest, sample.residentBytes);
  }
  ASSERT_GT(early, 0u) << "no early sample";
  const std::uint64_t margin = std::max(kResidentMarginBytes, early * kResidentMarginPercent / 100);
  EXPECT_LE(latest, early + margin) << "resident memory of the last 15 s, early level " << early;

  const StateTrace stop =
      controller.Await(SERVICE_CONTROL_STOP, SERVICE_STOPPED, Milliseconds(5000));
  EXPECT_TRUE(stop.reached && stop.elapsedMs <= kControlWithinMs) << "stop " << stop.Describe();
  EXPECT_TRUE(WaitForProcessEnd(process, Deadline::After(Milliseconds(5000))))
      << "the service process ends";
  EXPECT_TRUE(service.WaitForCompanionsEnded(Deadline::After(Milliseconds(10000))))
      << "the last companions end";
  const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark);
  EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);

  if (GetParam().standIn) {
    std::vector<std::uint64_t> starts;
    for (const CompanionRecord& record : service.Companions().Records()) {
      if (record.start)
        starts.push_back(record.tickMs);
    }
    std::sort(starts.begin(), starts.end());
    std::uint64_t longestGap = 0;
    for (std::size_t i = 1; i < starts.size(); ++i)
      longestGap = std::max(longestGap, starts[i] - starts[i - 1]);
    std::printf("    %zu starts, the longest gap between two %llu ms\n", starts.size(),
                static_cast<unsigned long long>(longestGap));
    EXPECT_GT(starts.size(), 1u);
    EXPECT_LE(longestGap, kLongestGapMs) << "the companion is started on every tick";
  } else {
    // Each request is in a record, in the state as dropped by the cooldown, or reported as
    // dropped by a later record: together about one request for each second of the storm.
    const auto entries = CompanionEntriesSince(errorsMark, {process}, true);
    std::uint64_t accounted = 0;
    for (const CompanionEntry& entry : entries) {
      EXPECT_EQ(entry.level, "warn") << entry.text;
      if (const auto asked = AskedIn(entry))
        accounted += asked->requests;
      accounted += DroppedBefore(entry).requests;
    }
    const auto state = ReadCompanionState();
    ASSERT_TRUE(state.has_value()) << "no state in the service's key";
    accounted += state->droppedRequests;
    std::printf("    %zu companion records, %llu requests accounted for\n", entries.size(),
                static_cast<unsigned long long>(accounted));
    EXPECT_GE(accounted, kStormMs / 1000 / 2) << "requests of about one tick a second";
    EXPECT_LE(accounted, kStormMs / 1000 + 10);
  }
}

INSTANTIATE_TEST_SUITE_P(,
                         LaunchStorm,
                         testing::Values(StormCompanion{"StandIn", StandInCompanion(), true},
                                         StormCompanion{"RealCompanion", RealCompanion(), false}),
                         [](const testing::TestParamInfo<StormCompanion>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace calvera::e2e
