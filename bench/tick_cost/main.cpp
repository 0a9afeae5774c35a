// tick_cost [--rounds R] [--ticks N] [--path I] [--verbose]: the cost of one maintenance tick on
// the real platform, under Wine, for each tick path, against its floor (the same platform calls
// made directly). For each path it stores the path's settings in the settings key, checks that a
// tick makes exactly the calls the floor replays, then times batches of N ticks and N floor
// replays, interleaved and alternating which goes first, for R rounds. Prints one ROW line per path
// with the medians per tick and the median of the rounds' ratios, and a VALUE line with the
// median tick of the started, memory-high path in microseconds. On that path it also times the
// floor against the floor without the policy key's failed open: what the lookup costs. Exits 1 when
// a path's calls differ from its floor's. Leaves the settings key removed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "maintenance/maintenance_tick.h"
#include "platform/win32/win32_platform.h"
#include "probes/windows_version.h"
#include "support/call_sequence.h"
#include "support/recording_platform.h"
#include "support/report.h"
#include "support/tick_paths.h"
#include "tick_cost/floor.h"
#include "tick_cost/no_launch_process.h"
#include "tick_cost/settings_key.h"

namespace {

using namespace calvera;
using Clock = std::chrono::steady_clock;

struct Options {
  int rounds = 201;
  int ticks = 20;
  int path = -1;         // only this path (0-3), for a closer look; -1 all
  bool verbose = false;  // every round's figures to stderr
};

Options ParseOptions(int argc, wchar_t** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--verbose") == 0) {
      options.verbose = true;
      continue;
    }
    if (i + 1 == argc)
      break;
    const int value = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
    if (std::wcscmp(argv[i - 1], L"--rounds") == 0)
      options.rounds = std::max(1, value);
    else if (std::wcscmp(argv[i - 1], L"--ticks") == 0)
      options.ticks = std::max(1, value);
    else if (std::wcscmp(argv[i - 1], L"--path") == 0)
      options.path = value;
  }
  return options;
}

// Microseconds per call of `work`, over `count` calls.
template <typename Work>
double MicrosecondsEach(int count, Work&& work) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i)
    work();
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  return elapsed.count() / count;
}

struct Cost {
  double calvera;  // microseconds per tick, median of the rounds
  double floor;
  double ratio;  // median of the rounds' calvera / floor
};

// Batches of `ticks` calls of `measured` and of `floor`, interleaved and alternating which goes
// first, after one warm-up batch of each.
template <typename Measured, typename FloorWork>
Cost Interleaved(const char* label,
                 Measured&& measured,
                 FloorWork&& floor,
                 const Options& options) {
  const auto runMeasured = [&] { return MicrosecondsEach(options.ticks, measured); };
  const auto runFloor = [&] { return MicrosecondsEach(options.ticks, floor); };
  static_cast<void>(runMeasured());
  static_cast<void>(runFloor());
  std::vector<double> measuredCosts, floors, ratios;
  for (int round = 0; round < options.rounds; ++round) {
    double measuredCost = 0;
    double floorCost = 0;
    if (round % 2 == 0) {
      measuredCost = runMeasured();
      floorCost = runFloor();
    } else {
      floorCost = runFloor();
      measuredCost = runMeasured();
    }
    measuredCosts.push_back(measuredCost);
    floors.push_back(floorCost);
    ratios.push_back(measuredCost / floorCost);
    if (options.verbose) {
      std::fprintf(stderr, "%s round %d: %.1f us, floor %.1f us\n", label, round, measuredCost,
                   floorCost);
    }
  }
  return {bench::Median(measuredCosts), bench::Median(floors), bench::Median(ratios)};
}

Cost Measure(maintenance::MaintenanceTick& tick,
             bench::Floor& floor,
             const bench::TickPath& path,
             const Options& options) {
  return Interleaved(
      path.label, [&] { tick.MainTimerTimer(); }, [&] { floor.Replay(path.steps); }, options);
}

// What looking for the absent policy key adds to a path: its floor against the same floor
// without that one failed open.
Cost MeasurePolicyKeyLookup(bench::Floor& floor,
                            const bench::TickPath& path,
                            const Options& options) {
  std::vector<bench::TickStep> without;
  std::copy_if(
      path.steps.begin(), path.steps.end(), std::back_inserter(without),
      [](const bench::TickStep& step) { return step.step != bench::Step::kOpenPolicyKey; });
  return Interleaved(
      "policy key lookup", [&] { floor.Replay(path.steps); }, [&] { floor.Replay(without); },
      options);
}

// The platform calls of a tick after the first, against the path's steps.
bool MakesItsCalls(const bench::TickPath& path,
                   const platform::Platform& platform,
                   std::int32_t versionCode) {
  bench::CallSequence calls;
  bench::RecordingPlatform recording(platform, calls);
  maintenance::MaintenanceTick tick(recording.platform);
  if (path.serviceStarted)
    tick.SetServiceStarted();
  tick.MainTimerTimer();
  calls.Clear();
  tick.MainTimerTimer();
  return bench::ReportDifference(path.label, bench::ExpectedCalls(path.steps, versionCode), calls);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const Options options = ParseOptions(argc, argv);
  platform::Platform& real = platform::Win32Platform();
  bench::NoLaunchProcess noLaunch(real.process);
  platform::Platform platform{real.registry, real.libraries, real.system,    noLaunch,
                              real.services, real.eventLog,  real.windowing, real.resources};
  const std::int32_t versionCode = probes::GetWindowsVersionCode(platform.system);
  bench::Floor floor(versionCode);

  bool allMatch = true;
  const auto paths = bench::TickPaths();
  for (std::size_t index = 0; index < paths.size(); ++index) {
    const bench::TickPath& path = paths[index];
    if (options.path >= 0 && static_cast<std::size_t>(options.path) != index)
      continue;
    if (!bench::StoreSettings(platform.registry, path.settings)) {
      std::fprintf(stderr, "%s: the settings key cannot be written\n", path.label);
      allMatch = false;
      continue;
    }
    if (!MakesItsCalls(path, platform, versionCode)) {
      allMatch = false;
      continue;
    }
    maintenance::MaintenanceTick tick(platform);
    if (path.serviceStarted)
      tick.SetServiceStarted();
    const Cost cost = Measure(tick, floor, path, options);
    bench::PrintRow(std::string("1. Tick cost (Wine): ") + path.label,
                    bench::Fixed(cost.calvera, 1) + " us", bench::Fixed(cost.floor, 1) + " us",
                    bench::Fixed(cost.ratio, 3), "<= 1.10");
    if (std::strcmp(path.label, "started, memory high") == 0) {
      std::printf("VALUE\ttick_cost_started_memory_high_us\t%.1f\n", cost.calvera);
      const Cost lookup = MeasurePolicyKeyLookup(floor, path, options);
      bench::PrintRow("1. Tick cost (Wine): started, memory high, floor with the absent policy key",
                      bench::Fixed(lookup.calvera, 1) + " us",
                      bench::Fixed(lookup.floor, 1) + " us", bench::Fixed(lookup.ratio, 3), "-");
    }
  }
  bench::RemoveSettings(platform.registry);
  if (!allMatch && platform.system.MillisecondsSinceStart() < 300'500) {
    std::fprintf(stderr,
                 "the machine has been up less than 5 minutes: the uptime gate is closed\n");
  }
  return allMatch ? 0 : 1;
}
