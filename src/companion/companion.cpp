#include "companion/companion.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "companion/arguments.h"
#include "companion/companion_events.h"
#include "companion/coordination.h"
#include "companion/run_record.h"
#include "companion/run_state.h"
#include "config/policy_key.h"
#include "platform/failure_policy.h"
#include "platform/text.h"

namespace calvera::companion {
namespace {

using platform::CompanionPlatform;

ExitCode Worse(ExitCode a, ExitCode b) {
  return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

ExitCode ExitCodeFor(RunReport::Outcome outcome) {
  switch (outcome) {
    case RunReport::Outcome::kReached:
      return ExitCode::kDone;
    case RunReport::Outcome::kStepsRanOut:
    case RunReport::Outcome::kDeadline:
      return ExitCode::kPartial;
    case RunReport::Outcome::kMeasurementFailed:
      break;
  }
  return ExitCode::kFailure;
}

// The worker's side: serves what it took from the count, for as long as it holds the mutex.
// Only the holder of the mutex writes the stored state, so the worker reads it once and keeps
// its own copy in step; its runs follow one another even where the state cannot be stored.
class Worker {
 public:
  Worker(CompanionPlatform& platform, const RunTimes& times, const Coordination& coordination)
      : platform_(platform),
        times_(times),
        coordination_(coordination),
        state_(
            LoadRunState(platform.volatileStore, platform.clock.MillisecondsSinceStart(), times)) {}

  ExitCode Serve(PendingRequests pending, bool previousWorkerAbandoned) {
    RunState& state = state_;
    ForgetExpired(state, platform_.clock.MillisecondsSinceStart(), times_);
    if (state.CoolingDown(platform_.clock.MillisecondsSinceStart())) {
      // Counted here and reported by the next run, so that a machine whose memory cannot be
      // freed gets one entry a cooldown, not one a second. A count that cannot be stored is
      // still this worker's; the next run's record says what could not be kept.
      state.droppedRequests += pending.requests;
      state.droppedMegabytes += pending.megabytes;
      static_cast<void>(SaveRunState(platform_.volatileStore, state));
      return ExitCode::kPartial;
    }
    RunInputs inputs;
    inputs.excludedNames = config::ReadExcludedProcesses(platform_.registry);
    inputs.recentlyTrimmed = state.RecentlyTrimmed();

    RunRecord record;
    record.report = FreeMemory(platform_, times_, inputs, pending);
    const RunReport& report = record.report;
    record.droppedBefore = {state.droppedRequests, state.droppedMegabytes};
    record.previousWorkerAbandoned = previousWorkerAbandoned;
    record.inPrivateNamespace = coordination_.InPrivateNamespace();
    record.namespaceError = coordination_.NamespaceError();
    record.cooldownSeconds = times_.cooldown / 1000;
    record.deadlineSeconds = times_.deadline / 1000;

    state.droppedRequests = 0;
    state.droppedMegabytes = 0;
    for (const ProcessIdentity& identity : report.trimmedIdentities)
      state.trimmed.push_back({identity, report.finishedAt});
    const bool fellShort = report.outcome == RunReport::Outcome::kStepsRanOut ||
                           report.outcome == RunReport::Outcome::kDeadline;
    state.cooldownUntil = fellShort ? report.finishedAt + times_.cooldown : 0;
    record.stateError = SaveRunState(platform_.volatileStore, state);

    WriteEntry(platform_.eventLog, EventFor(report.outcome),
               FormatRunRecord(record, platform_.eventLog));
    return ExitCodeFor(report.outcome);
  }

 private:
  CompanionPlatform& platform_;
  const RunTimes& times_;
  const Coordination& coordination_;
  RunState state_;
};

// The entry of a companion that could not take part in the handoff: `what` happened, and why.
void ReportCoordinationFailure(platform::EventLog& eventLog,
                               const std::u16string& what,
                               platform::ErrorCode error) {
  WriteEntry(eventLog, kCoordinationFailedEvent,
             what + u" (" + DescribeError(eventLog, error) + u").");
}

ExitCode Coordinate(CompanionPlatform& platform, const RunTimes& times, std::uint32_t megabytes) {
  const std::u16string request = u"a request of " + ToDecimal(megabytes) + u" MB";
  Coordination::Failure failure{};
  auto coordination = Coordination::Open(platform.namedObjects, &failure);
  if (!coordination) {
    ReportCoordinationFailure(platform.eventLog,
                              u"Dropped " + request + u": the " + failure.object +
                                  u" shared by the companions cannot be opened",
                              failure.error);
    return ExitCode::kFailure;
  }
  if (const auto error = coordination->AddRequest(megabytes); error != platform::kErrorSuccess) {
    ReportCoordinationFailure(
        platform.eventLog,
        u"Dropped " + request + u": the request count shared by the companions cannot be changed",
        error);
    return ExitCode::kFailure;
  }
  ExitCode result = ExitCode::kDone;
  for (;;) {
    platform::LockResult lock = platform::LockResult::kBusy;
    if (const auto error = coordination->TryLock(&lock); error != platform::kErrorSuccess) {
      ReportCoordinationFailure(platform.eventLog,
                                u"Left " + request +
                                    u" in the count shared by the companions, for the next one: "
                                    u"the worker mutex cannot be tried",
                                error);
      return ExitCode::kFailure;
    }
    if (lock == platform::LockResult::kBusy)
      return result;  // the worker takes the request, or sees it after it lets go
    bool abandoned = lock == platform::LockResult::kAbandoned;
    {
      const WorkerLock held(*coordination);
      std::optional<Worker> worker;
      for (;;) {
        PendingRequests pending;
        if (const auto error = coordination->TakePending(&pending);
            error != platform::kErrorSuccess) {
          ReportCoordinationFailure(platform.eventLog,
                                    u"Left the requests in the count shared by the companions, "
                                    u"for the next one: the count cannot be taken",
                                    error);
          return ExitCode::kFailure;
        }
        if (pending.Empty())
          break;
        if (!worker)
          worker.emplace(platform, times, *coordination);
        result = Worse(result, worker->Serve(pending, abandoned));
        abandoned = false;
      }
    }
    // A request added after the last take found the mutex held and left it to this worker.
    bool any = false;
    if (const auto error = coordination->AnyPending(&any); error != platform::kErrorSuccess) {
      ReportCoordinationFailure(platform.eventLog,
                                u"Ended without a last look at the count shared by the "
                                u"companions, which cannot be read; a request added since "
                                u"waits for the next one",
                                error);
      return ExitCode::kFailure;
    }
    if (!any)
      return result;
  }
}

}  // namespace

ExitCode RunCompanion(CompanionPlatform& platform,
                      const RunTimes& times,
                      const std::vector<std::u16string>& arguments) noexcept {
  try {
    const Request request = ParseRequest(arguments);
    switch (request.kind) {
      case Request::Kind::kBad:
        WriteEntry(platform.eventLog, kBadArgumentEvent, FormatBadArgument(arguments));
        return ExitCode::kBadArgument;
      case Request::Kind::kNothing:
        return ExitCode::kDone;
      case Request::Kind::kMegabytes:
        break;
    }
    return Coordinate(platform, times, static_cast<std::uint32_t>(request.megabytes));
  } catch (const std::exception& failure) {
    TryOrIgnore([&] {
      WriteEntry(platform.eventLog, kRunFailedEvent,
                 u"Failed unexpectedly: " + FromUtf8(failure.what()) + u".");
    });
  } catch (...) {
    TryOrIgnore([&] { WriteEntry(platform.eventLog, kRunFailedEvent, u"Failed unexpectedly."); });
  }
  return ExitCode::kFailure;
}

}  // namespace calvera::companion
