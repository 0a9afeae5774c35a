#include "companion/freeing_run.h"

#include <optional>

#include "platform/scoped_handle.h"
#include "platform/service_control_manager.h"
#include "probes/ram.h"

namespace calvera::companion {
namespace {

using platform::CompanionPlatform;
using platform::ErrorCode;
using platform::NtStatus;
using platform::ProcessRecord;
using State = StepReport::State;

// The process of the running service as the Service Control Manager reports it, asked with the
// least rights. 0 when it is not running or cannot be asked: the service is still known as the
// companion's parent then (CalveraProcessIds).
std::uint32_t ServiceProcessId(platform::ServiceControlManager& services) {
  platform::ScopedServiceHandle manager(services);
  if (services.OpenManager(platform::kScManagerConnect, manager.put()) != platform::kErrorSuccess)
    return 0;
  platform::ScopedServiceHandle service(services);
  if (services.OpenServiceEntry(manager.get(), kServiceName, platform::kServiceQueryStatus,
                                service.put()) != platform::kErrorSuccess) {
    return 0;
  }
  std::uint32_t processId = 0;
  return services.QueryServiceProcessId(service.get(), &processId) == platform::kErrorSuccess
             ? processId
             : 0;
}

class Ladder {
 public:
  Ladder(CompanionPlatform& platform,
         const RunTimes& times,
         const RunInputs& inputs,
         PendingRequests asked)
      : platform_(platform),
        times_(times),
        inputs_(inputs),
        target_(static_cast<std::int64_t>(asked.megabytes) * kMegabyte) {
    report_.asked = asked;
  }

  RunReport Run() {
    start_ = Now();
    if (const auto before = Available()) {
      report_.availableBefore = current_ = *before;
      // The first of the two snapshots that tell idle processes from busy ones; the interval
      // between them runs while the cache step settles.
      firstStatus_ = platform_.processes.Snapshot(&first_);
      firstAt_ = Now();
      RunSteps();
    }
    std::optional<std::int64_t> after;
    if (!measurementFailed_)
      after = Available();
    report_.availableAfter = after.value_or(current_);
    if (measurementFailed_)
      report_.outcome = RunReport::Outcome::kMeasurementFailed;
    else if (Reached(*after))
      report_.outcome = RunReport::Outcome::kReached;
    else if (deadlinePassed_)
      report_.outcome = RunReport::Outcome::kDeadline;
    else
      report_.outcome = RunReport::Outcome::kStepsRanOut;
    report_.finishedAt = Now();
    report_.milliseconds = static_cast<std::uint32_t>(report_.finishedAt - start_);
    return std::move(report_);
  }

 private:
  void RunSteps() {
    struct Step {
      StepReport* report;
      void (Ladder::*run)(StepReport&);
    };
    const Step steps[] = {{&report_.fileCache, &Ladder::TrimFileCache},
                          {&report_.idleProcesses, &Ladder::TrimIdleProcesses},
                          {&report_.modifiedList, &Ladder::FlushModifiedList}};
    for (const Step& step : steps) {
      if (Reached(current_))
        return;  // the rest stay "not needed"
      if (PastDeadline()) {
        deadlinePassed_ = true;
        step.report->state = State::kDeadline;
        continue;
      }
      const std::uint64_t stepStart = Now();
      (this->*step.run)(*step.report);
      step.report->milliseconds = static_cast<std::uint32_t>(Now() - stepStart);
      if (measurementFailed_)
        return;
    }
  }

  void TrimFileCache(StepReport& step) {
    if (!EnablePrivilege(platform::kIncreaseQuotaPrivilege, step))
      return;
    const auto before = Available();
    if (!before)
      return;
    const ErrorCode error = platform_.fileCache.TrimWorkingSet();
    if (error != platform::kErrorSuccess) {
      Failed(step, CallFailure::Windows(error), error == platform::kErrorProcNotFound);
      return;
    }
    SettleAndMeasure(step, *before);
  }

  void TrimIdleProcesses(StepReport& step) {
    if (!platform::NtSuccess(firstStatus_)) {
      FailedNative(step, firstStatus_);
      return;
    }
    const std::uint64_t sinceFirst = Now() - firstAt_;
    if (sinceFirst < times_.samplingInterval)
      platform_.clock.Sleep(static_cast<std::uint32_t>(times_.samplingInterval - sinceFirst));
    std::vector<ProcessRecord> second;
    const NtStatus status = platform_.processes.Snapshot(&second);
    if (!platform::NtSuccess(status)) {
      FailedNative(step, status);
      return;
    }
    SelectionRules rules;
    rules.protectedIds = CalveraProcessIds(second, platform_.processes.CurrentProcessId(),
                                           [this] { return ServiceProcessId(platform_.services); });
    rules.excludedNames = inputs_.excludedNames;
    rules.recentlyTrimmed = inputs_.recentlyTrimmed;
    rules.now = platform_.clock.SystemTime();
    const Selection selection = SelectIdleProcesses(first_, second, rules);
    report_.skipped = selection.skipped;
    const std::vector<Candidate>& candidates = selection.candidates;
    step.state = State::kNothingToDo;
    if (candidates.empty())
      return;

    const auto before = Available();
    if (!before)
      return;
    // One process at a time, reading available memory after each: the lists change within the
    // call, so the reading is cheap and close. Only when it says the target is reached, or
    // nothing is left, does the step settle and measure; a short settled figure goes on.
    std::size_t next = 0;
    for (;;) {
      bool trimmedAny = false;
      while (next < candidates.size()) {
        if (PastDeadline()) {
          deadlinePassed_ = true;
          break;
        }
        const auto reading = Available();
        if (!reading)
          return;
        if (Reached(*reading))
          break;
        trimmedAny = Trim(candidates[next++]) || trimmedAny;
      }
      if (!trimmedAny)
        break;
      SettleAndMeasure(step, *before);
      if (measurementFailed_ || Reached(current_) || next == candidates.size() || deadlinePassed_)
        break;
    }
    report_.idleLeft = static_cast<std::uint32_t>(candidates.size() - next);
  }

  void FlushModifiedList(StepReport& step) {
    if (!EnablePrivilege(platform::kProfileSingleProcessPrivilege, step))
      return;
    platform::MemoryListSizes lists;
    NtStatus status = platform_.memoryLists.Query(&lists);
    if (!platform::NtSuccess(status)) {
      FailedNative(step, status);
      return;
    }
    step.listBytes = lists.modified;
    if (lists.modified < kModifiedListFloor) {
      step.state = State::kNothingToDo;
      return;
    }
    if (lists.modified > kModifiedListCap) {
      step.state = State::kAboveCap;
      return;
    }
    const auto before = Available();
    if (!before)
      return;
    status = platform_.memoryLists.SendCommand(platform::MemoryListCommand::kFlushModifiedList);
    if (!platform::NtSuccess(status)) {
      FailedNative(step, status);
      return;
    }
    SettleAndMeasure(step, *before);
  }

  // Opens the process again by id and makes sure it is still the one of the snapshot.
  bool Trim(const Candidate& candidate) {
    platform::WorkingSets& workingSets = platform_.workingSets;
    platform::ScopedProcess process(workingSets);
    if (workingSets.OpenForTrim(candidate.identity.processId, process.put()) !=
        platform::kErrorSuccess) {
      ++report_.skipped[SkipReason::kCannotOpen];
      return false;
    }
    std::int64_t created = 0;
    if (workingSets.QueryCreationTime(process.get(), &created) != platform::kErrorSuccess ||
        created != candidate.identity.creationTime) {
      ++report_.skipped[SkipReason::kExited];
      return false;
    }
    if (workingSets.Trim(process.get()) != platform::kErrorSuccess) {
      ++report_.skipped[SkipReason::kTrimFailed];
      return false;
    }
    report_.trimmed.push_back({candidate.imageName, candidate.privateWorkingSetBytes});
    report_.trimmedIdentities.push_back(candidate.identity);
    return true;
  }

  bool EnablePrivilege(const char16_t* name, StepReport& step) {
    const ErrorCode error = platform_.privileges.Enable(name);
    if (error == platform::kErrorSuccess)
      return true;
    step.state = State::kNoPrivilege;
    step.failure = CallFailure::Windows(error);
    return false;
  }

  static void Failed(StepReport& step, CallFailure failure, bool missingEntryPoint) {
    step.state = missingEntryPoint ? State::kUnavailable : State::kFailed;
    step.failure = failure;
  }

  // A native call's failure; STATUS_PROCEDURE_NOT_FOUND means the entry point is missing.
  static void FailedNative(StepReport& step, NtStatus status) {
    Failed(step, CallFailure::Native(status), status == platform::kStatusProcedureNotFound);
  }

  void SettleAndMeasure(StepReport& step, std::int64_t before) {
    platform_.clock.Sleep(times_.settle);
    const auto after = Available();
    if (!after)
      return;
    current_ = *after;
    step.state = State::kDone;
    step.gainBytes = *after - before;
  }

  // 0 is what the probe answers when it cannot read: no machine has no memory available.
  std::optional<std::int64_t> Available() {
    const std::int64_t available = probes::GetAvailablePhysicalMemory(platform_.libraries);
    if (available > 0)
      return available;
    measurementFailed_ = true;
    return std::nullopt;
  }

  bool Reached(std::int64_t available) const {
    return available - report_.availableBefore >= target_;
  }

  std::uint64_t Now() { return platform_.clock.MillisecondsSinceStart(); }
  bool PastDeadline() { return Now() - start_ >= times_.deadline; }

  CompanionPlatform& platform_;
  const RunTimes& times_;
  const RunInputs& inputs_;
  const std::int64_t target_;
  RunReport report_;
  std::uint64_t start_ = 0;
  std::int64_t current_ = 0;  // the latest settled reading
  std::vector<ProcessRecord> first_;
  NtStatus firstStatus_ = platform::kStatusSuccess;
  std::uint64_t firstAt_ = 0;
  bool deadlinePassed_ = false;
  bool measurementFailed_ = false;
};

}  // namespace

std::int64_t RunReport::StepsGainBytes() const {
  return fileCache.gainBytes + idleProcesses.gainBytes + modifiedList.gainBytes;
}

RunReport FreeMemory(CompanionPlatform& platform,
                     const RunTimes& times,
                     const RunInputs& inputs,
                     PendingRequests asked) {
  return Ladder(platform, times, inputs, asked).Run();
}

}  // namespace calvera::companion
