#include "companion/run_record.h"

#include <algorithm>
#include <string_view>

#include "platform/privileges.h"
#include "platform/system_error_text.h"
#include "platform/text.h"

namespace calvera::companion {
namespace {

using State = StepReport::State;
using Outcome = RunReport::Outcome;

// The largest trimmed processes named in the entry; the others are counted.
constexpr std::size_t kNamedProcesses = 3;
// An argument is quoted up to this length.
constexpr std::size_t kQuotedArgumentLength = 40;

std::u16string Number(std::int64_t value) {
  return ToDecimal(value);
}

std::u16string Mb(std::int64_t bytes) {
  return Number(WholeMegabytes(bytes)) + u" MB";
}

std::u16string SignedMb(std::int64_t bytes) {
  const std::int64_t megabytes = WholeMegabytes(bytes);
  return (megabytes > 0 ? u"+" : u"") + Number(megabytes) + u" MB";
}

std::u16string Seconds(std::uint32_t milliseconds) {
  const std::uint32_t hundredths = milliseconds / 10 % 100;
  return Number(milliseconds / 1000) + u"." + (hundredths < 10 ? u"0" : u"") + Number(hundredths) +
         u" s";
}

std::u16string Plural(std::int64_t count, std::u16string_view one, std::u16string_view many) {
  return Number(count) + u" " + std::u16string(count == 1 ? one : many);
}

std::u16string Failure(platform::EventLog& eventLog, const CallFailure& failure) {
  if (failure.kind == CallFailure::Kind::kNtStatus) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text = u"status 0x";
    for (int shift = 28; shift >= 0; shift -= 4)
      text.push_back(kHex[(failure.code >> shift) & 0xF]);
    return text;
  }
  return DescribeError(eventLog, failure.code);
}

// The common states; each step words its own "nothing to do" and "unavailable".
std::u16string CommonState(const StepReport& step,
                           const char16_t* privilege,
                           platform::EventLog& eventLog) {
  switch (step.state) {
    case State::kNotNeeded:
      return u"not needed";
    case State::kDone:
      return SignedMb(step.gainBytes) + u" in " + Seconds(step.milliseconds);
    case State::kNoPrivilege:
      return u"skipped, " + std::u16string(privilege) + u" cannot be enabled (" +
             Failure(eventLog, step.failure) + u")";
    case State::kFailed:
      return u"failed, " + Failure(eventLog, step.failure);
    case State::kDeadline:
      return u"not run, the deadline had passed";
    default:
      return {};
  }
}

std::u16string FileCacheLine(const StepReport& step, platform::EventLog& eventLog) {
  std::u16string text = u"1. System file cache: ";
  if (step.state == State::kUnavailable)
    return text + u"skipped, this system has no SetSystemFileCacheSize.";
  return text + CommonState(step, platform::kIncreaseQuotaPrivilege, eventLog) + u".";
}

std::u16string SkippedLine(const SkipCounts& skipped) {
  static constexpr std::u16string_view kLabels[kSkipReasonCount] = {
      u"protected", u"virtual machine hosts", u"excluded", u"small",
      u"young",     u"recently trimmed",      u"busy",     u"could not be opened",
      u"exited",    u"refused the trim"};
  std::u16string text;
  for (std::size_t reason = 0; reason < kSkipReasonCount; ++reason) {
    if (skipped.counts[reason] == 0)
      continue;
    text += (text.empty() ? u"" : u", ") + Number(skipped.counts[reason]) + u" " +
            std::u16string(kLabels[reason]);
  }
  return text.empty() ? text : u"\n   Skipped: " + text + u".";
}

std::u16string TrimmedList(const std::vector<TrimmedProcessReport>& trimmed) {
  std::u16string text = u", " + Number(static_cast<std::int64_t>(trimmed.size())) + u" trimmed: ";
  const std::size_t named = std::min(trimmed.size(), kNamedProcesses);
  for (std::size_t i = 0; i < named; ++i) {
    if (i > 0)
      text += u", ";
    text += trimmed[i].imageName + u" " +
            Mb(static_cast<std::int64_t>(trimmed[i].privateWorkingSetBytes));
  }
  if (trimmed.size() > named)
    text += u" and " + Number(static_cast<std::int64_t>(trimmed.size() - named)) + u" more";
  return text;
}

std::u16string IdleProcessesLine(const RunReport& report, platform::EventLog& eventLog) {
  const StepReport& step = report.idleProcesses;
  std::u16string text = u"2. Idle processes: ";
  if (step.state == State::kUnavailable) {
    text += u"skipped, this system has no NtQuerySystemInformation";
  } else if (step.state == State::kNothingToDo) {
    text += u"none trimmed";
  } else {
    text += CommonState(step, u"", eventLog);
    if (step.state == State::kDone)
      text += TrimmedList(report.trimmed);
  }
  if (report.idleLeft > 0)
    text += u"; " + Number(report.idleLeft) + u" idle left alone";
  return text + u"." + SkippedLine(report.skipped);
}

std::u16string ModifiedListLine(const StepReport& step, platform::EventLog& eventLog) {
  std::u16string text = u"3. Modified page list: ";
  switch (step.state) {
    case State::kUnavailable:
      return text + u"skipped, this system has no memory list functions in ntdll.";
    case State::kNothingToDo:
      return text + u"skipped, its " + Mb(static_cast<std::int64_t>(step.listBytes)) +
             u" are below the " + Mb(kModifiedListFloor) + u" worth writing.";
    case State::kAboveCap:
      return text + u"skipped, its " + Mb(static_cast<std::int64_t>(step.listBytes)) +
             u" are above the " + Mb(kModifiedListCap) + u" that can be written without a stall.";
    default:
      return text + CommonState(step, platform::kProfileSingleProcessPrivilege, eventLog) + u".";
  }
}

std::u16string Headline(const RunRecord& record) {
  const RunReport& report = record.report;
  const std::int64_t change = report.availableAfter - report.availableBefore;
  const std::u16string asked =
      Number(static_cast<std::int64_t>(report.asked.megabytes)) + u" MB asked";
  // Whole megabytes toward zero either way: neither a gain nor a loss is shown above its size.
  const std::u16string changed =
      change <= -kMegabyte ? Mb(-change) + u" less available memory"
                           : Mb(std::max<std::int64_t>(change, 0)) + u" more available memory";
  switch (report.outcome) {
    case Outcome::kReached:
      return u"Target reached: " + changed + u", " + asked + u".";
    case Outcome::kStepsRanOut:
      return u"Fell short: " + changed + u", " + asked + u"; every step has been tried.";
    case Outcome::kDeadline:
      return u"Fell short: " + changed + u", " + asked + u"; the " +
             Number(record.deadlineSeconds) + u" s deadline passed.";
    case Outcome::kMeasurementFailed:
      break;
  }
  return report.availableBefore == 0
             ? u"Failed: available memory cannot be read, so nothing was freed; " + asked + u"."
             : u"Failed: available memory could no longer be read, so the run stopped; " + asked +
                   u".";
}

}  // namespace

CompanionEvent EventFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::kReached:
      return kTargetReachedEvent;
    case Outcome::kStepsRanOut:
    case Outcome::kDeadline:
      return kFellShortEvent;
    case Outcome::kMeasurementFailed:
      break;
  }
  return kRunFailedEvent;
}

std::int64_t WholeMegabytes(std::int64_t bytes) {
  // Toward minus infinity: -1 byte is -1 MB, so that no change is shown above what it was.
  return bytes >= 0 ? bytes / kMegabyte : -((-bytes + kMegabyte - 1) / kMegabyte);
}

std::u16string DescribeError(platform::EventLog& eventLog, platform::ErrorCode error) {
  const std::u16string text = platform::SystemErrorText(eventLog, error);
  std::u16string result = u"error " + Number(error);
  return text.empty() ? result : result + u": " + text;
}

std::u16string FormatRunRecord(const RunRecord& record, platform::EventLog& eventLog) {
  const RunReport& report = record.report;
  std::u16string text = Headline(record);
  // The accounting of requests first: it is what a reader of a truncated entry needs most.
  text += u"\nAsked: " + Number(static_cast<std::int64_t>(report.asked.megabytes)) + u" MB in " +
          Plural(report.asked.requests, u"request", u"requests") + u".";
  if (!record.droppedBefore.Empty()) {
    text += u" Dropped while cooling down before this run: " +
            Plural(record.droppedBefore.requests, u"request", u"requests") + u", " +
            Number(static_cast<std::int64_t>(record.droppedBefore.megabytes)) + u" MB.";
  }
  text += u"\nAvailable memory: " + Mb(report.availableBefore) + u" before, " +
          Mb(report.availableAfter) + u" after.";
  text += u"\nFreed by the steps: " + Mb(report.StepsGainBytes()) + u" in " +
          Seconds(report.milliseconds) + u".";
  if (report.outcome != Outcome::kMeasurementFailed || report.availableBefore != 0) {
    text += u"\n" + FileCacheLine(report.fileCache, eventLog);
    text += u"\n" + IdleProcessesLine(report, eventLog);
    text += u"\n" + ModifiedListLine(report.modifiedList, eventLog);
  }
  if (record.previousWorkerAbandoned)
    text += u"\nThe previous worker ended without releasing its lock; what it had taken is lost.";
  if (!record.inPrivateNamespace) {
    text += u"\nNamed objects: global names, for want of a private namespace (" +
            DescribeError(eventLog, record.namespaceError) + u").";
  }
  if (record.stateError != 0) {
    text += u"\nNot kept for the next run (" + DescribeError(eventLog, record.stateError) +
            u"): the processes trimmed and the cooldown.";
  }
  if (report.outcome == Outcome::kStepsRanOut || report.outcome == Outcome::kDeadline) {
    text += u"\nRequests in the next " + Number(record.cooldownSeconds) +
            u" s are counted and dropped.";
  }
  return text;
}

std::u16string FormatBadArgument(const std::vector<std::u16string>& arguments) {
  std::u16string text =
      u"Not started with one whole number of megabytes to free, so nothing was done: ";
  if (arguments.empty())
    return text + u"there is no argument.";
  if (arguments.size() > 1)
    return text + u"there are " + Number(static_cast<std::int64_t>(arguments.size())) +
           u" arguments.";
  std::u16string shown;
  for (const char16_t unit : arguments.front()) {
    if (shown.size() == kQuotedArgumentLength) {
      shown += u"...";
      break;
    }
    shown.push_back(unit < u' ' || unit == 0x7F ? u'?' : unit);
  }
  return text + u"\"" + shown + u"\" is not a decimal number within 32 bits.";
}

}  // namespace calvera::companion
