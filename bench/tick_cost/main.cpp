// tick_cost [--rounds R] [--ticks N] [--path I] [--verbose]: the cost of one maintenance tick on
// the real platform, under Wine, for each tick path, against its floor (the same platform calls
// made directly). For each path it stores the path's settings in the settings key, checks that a
// tick makes exactly the calls the floor replays, then times batches of N ticks and N floor
// replays, interleaved and alternating which goes first, for R rounds. Prints one ROW line per path
// with the medians per tick and the median of the rounds' ratios, and a VALUE line with the
// median tick of the started, memory-high path in microseconds. Exits 1 when a path's calls
// differ from its floor's. Leaves the settings key removed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

Cost Measure(maintenance::MaintenanceTick& tick,
             bench::Floor& floor,
             const bench::TickPath& path,
             const Options& options) {
  const auto runTicks = [&] {
    return MicrosecondsEach(options.ticks, [&] { tick.MainTimerTimer(); });
  };
  const auto runFloor = [&] {
    return MicrosecondsEach(options.ticks, [&] { floor.Replay(path.steps); });
  };
  // One batch of each first, so that both run warm.
  static_cast<void>(runTicks());
  static_cast<void>(runFloor());
  std::vector<double> ticks, floors, ratios;
  for (int round = 0; round < options.rounds; ++round) {
    double tickCost = 0;
    double floorCost = 0;
    if (round % 2 == 0) {
      tickCost = runTicks();
      floorCost = runFloor();
    } else {
      floorCost = runFloor();
      tickCost = runTicks();
    }
    ticks.push_back(tickCost);
    floors.push_back(floorCost);
    ratios.push_back(tickCost / floorCost);
    if (options.verbose) {
      std::fprintf(stderr, "%s round %d: %.1f us, floor %.1f us\n", path.label, round, tickCost,
                   floorCost);
    }
  }
  return {bench::Median(ticks), bench::Median(floors), bench::Median(ratios)};
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
    if (std::strcmp(path.label, "started, memory high") == 0)
      std::printf("VALUE\ttick_cost_started_memory_high_us\t%.1f\n", cost.calvera);
  }
  bench::RemoveSettings(platform.registry);
  if (!allMatch && platform.system.MillisecondsSinceStart() < 300'500) {
    std::fprintf(stderr,
                 "the machine has been up less than 5 minutes: the uptime gate is closed\n");
  }
  return allMatch ? 0 : 1;
}
