// tick_allocations [--trace]: heap allocations per maintenance tick on the host, for each tick
// path, counted with this program's own operator new on a platform that allocates nothing
// itself, after a first tick. Prints one ROW line per path. Checks first that each path makes
// the platform calls its floor replays; exits 1 when one does not. --trace writes a backtrace
// of every counted allocation to stderr.
#include <cstdint>
#include <cstring>
#include <string>

#include "maintenance/maintenance_tick.h"
#include "probes/windows_version.h"
#include "support/call_sequence.h"
#include "support/recording_platform.h"
#include "support/report.h"
#include "support/tick_paths.h"
#include "tick_allocations/allocation_counter.h"
#include "tick_allocations/stub_platform.h"

namespace {

using namespace calvera;

constexpr int kTicks = 1000;

maintenance::MaintenanceTick& Started(maintenance::MaintenanceTick& tick, bool started) {
  if (started)
    tick.SetServiceStarted();
  return tick;
}

// The calls of the tick after the first, against the path's steps.
bool MakesItsCalls(const bench::TickPath& path, bench::StubPlatform& stub) {
  bench::CallSequence calls;
  bench::RecordingPlatform recording(stub.platform, calls);
  maintenance::MaintenanceTick tick(recording.platform);
  Started(tick, path.serviceStarted).MainTimerTimer();
  calls.Clear();
  tick.MainTimerTimer();
  return bench::ReportDifference(
      path.label, bench::ExpectedCalls(path.steps, probes::GetWindowsVersionCode(stub.system)),
      calls);
}

double AllocationsPerTick(const bench::TickPath& path, bench::StubPlatform& stub, bool trace) {
  maintenance::MaintenanceTick tick(stub.platform);
  Started(tick, path.serviceStarted).MainTimerTimer();
  const std::uint64_t before = bench::AllocationCount();
  bench::SetAllocationTracing(trace);
  for (int i = 0; i < kTicks; ++i)
    tick.MainTimerTimer();
  bench::SetAllocationTracing(false);
  return static_cast<double>(bench::AllocationCount() - before) / kTicks;
}

}  // namespace

int main(int argc, char** argv) {
  const bool trace = argc > 1 && std::strcmp(argv[1], "--trace") == 0;
  bench::StubPlatform stub;
  bool allMatch = true;
  for (const bench::TickPath& path : bench::TickPaths()) {
    stub.registry.SetSettings(path.settings);
    if (!MakesItsCalls(path, stub)) {
      allMatch = false;
      continue;
    }
    const double perTick = AllocationsPerTick(path, stub, trace);
    // A run builds the companion's path and its parameters: those are not held to 0.
    bench::PrintRow(std::string("2. Heap allocations per tick (host): ") + path.label,
                    bench::Fixed(perTick, perTick == static_cast<int>(perTick) ? 0 : 2), "-", "-",
                    path.launches ? "-" : "0");
  }
  return allMatch ? 0 : 1;
}
