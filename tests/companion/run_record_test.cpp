#include "companion/run_record.h"

#include <gtest/gtest.h>

#include "fake/fake_event_log.h"
#include "platform/text.h"

namespace calvera::companion {
namespace {

using Outcome = RunReport::Outcome;
using State = StepReport::State;

constexpr std::int64_t kMb = kMegabyte;

StepReport Done(std::int64_t gain, std::uint32_t milliseconds) {
  StepReport step;
  step.state = State::kDone;
  step.gainBytes = gain;
  step.milliseconds = milliseconds;
  return step;
}

StepReport Step(State state, CallFailure failure = {}, std::uint64_t listBytes = 0) {
  StepReport step;
  step.state = state;
  step.failure = failure;
  step.listBytes = listBytes;
  return step;
}

TEST(RunRecordTest, AReachedRunReadsAsItsOwnSummary) {
  RunRecord record;
  RunReport& report = record.report;
  report.outcome = Outcome::kReached;
  report.asked = {1, 1024};
  report.availableBefore = 2048 * kMb + 900'000;
  report.availableAfter = 3110 * kMb + 100'000;
  report.milliseconds = 1420;
  report.fileCache = Done(312 * kMb, 210);
  report.idleProcesses = Done(749 * kMb + 400'000, 905);
  report.trimmed = {{u"chrome.exe", 810 * kMb}, {u"Code.exe", 402 * kMb}, {u"Teams.exe", 300 * kMb},
                    {u"a.exe", 100 * kMb},      {u"b.exe", 90 * kMb},     {u"c.exe", 80 * kMb}};
  report.idleLeft = 20;
  report.skipped[SkipReason::kProtected] = 12;
  report.skipped[SkipReason::kSmall] = 40;
  report.skipped[SkipReason::kRecentlyTrimmed] = 1;
  report.skipped[SkipReason::kBusy] = 3;
  record.cooldownSeconds = 60;
  fake::FakeEventLog eventLog;
  EXPECT_EQ(ToUtf8(FormatRunRecord(record, eventLog)),
            "Target reached: 1061 MB more available memory, 1024 MB asked.\n"
            "Asked: 1024 MB in 1 request.\n"
            "Available memory: 2048 MB before, 3110 MB after.\n"
            "Freed by the steps: 1061 MB in 1.42 s.\n"
            "1. System file cache: +312 MB in 0.21 s.\n"
            "2. Idle processes: +749 MB in 0.90 s, 6 trimmed: chrome.exe 810 MB, Code.exe 402 MB, "
            "Teams.exe 300 MB and 3 more; 20 idle left alone.\n"
            "   Skipped: 12 protected, 40 small, 1 recently trimmed, 3 busy.\n"
            "3. Modified page list: not needed.");
  EXPECT_EQ(EventFor(report.outcome).type, platform::kEventlogInformationType);
}

TEST(RunRecordTest, AShortRunSaysWhyEachStepGainedNothingAndWhatFollows) {
  RunRecord record;
  RunReport& report = record.report;
  report.outcome = Outcome::kStepsRanOut;
  report.asked = {3, 3072};
  report.availableBefore = 5120 * kMb;
  report.availableAfter = 5118 * kMb;
  report.milliseconds = 503;
  report.fileCache.state = State::kFailed;
  report.fileCache.failure = CallFailure::Windows(120);
  report.idleProcesses.state = State::kNothingToDo;
  report.skipped[SkipReason::kProtected] = 4;
  report.skipped[SkipReason::kSmall] = 9;
  report.modifiedList.state = State::kFailed;
  report.modifiedList.failure = CallFailure::Native(static_cast<platform::NtStatus>(0xC0000003u));
  record.droppedBefore = {12, 9216};
  record.previousWorkerAbandoned = true;
  record.inPrivateNamespace = false;
  record.namespaceError = 120;
  record.stateError = 2;
  record.cooldownSeconds = 60;
  fake::FakeEventLog eventLog;
  eventLog.SetSystemMessage(120, u"This function is not supported on this system.\r\n");
  EXPECT_EQ(ToUtf8(FormatRunRecord(record, eventLog)),
            "Fell short: 2 MB less available memory, 3072 MB asked; every step has been tried.\n"
            "Asked: 3072 MB in 3 requests. Dropped while cooling down before this run: "
            "12 requests, 9216 MB.\n"
            "Available memory: 5120 MB before, 5118 MB after.\n"
            "Freed by the steps: 0 MB in 0.50 s.\n"
            "1. System file cache: failed, error 120: This function is not supported on this "
            "system.\n"
            "2. Idle processes: none trimmed.\n"
            "   Skipped: 4 protected, 9 small.\n"
            "3. Modified page list: failed, status 0xC0000003.\n"
            "The previous worker ended without releasing its lock; what it had taken is lost.\n"
            "Named objects: global names, for want of a private namespace (error 120: This "
            "function is not supported on this system).\n"
            "Not kept for the next run (error 2: The system cannot find the file specified): the "
            "processes trimmed and the cooldown.\n"
            "Requests in the next 60 s are counted and dropped.");
  EXPECT_EQ(EventFor(report.outcome).type, platform::kEventlogWarningType);
}

TEST(RunRecordTest, EveryStateOfAStepHasItsWords) {
  fake::FakeEventLog eventLog;
  struct Case {
    StepReport step;
    std::string cache, modified;
  } cases[] = {
      {Step(State::kNotNeeded), "not needed", "not needed"},
      {Done(-3 * kMb + 1, 5), "-3 MB in 0.00 s", "-3 MB in 0.00 s"},
      {Step(State::kNoPrivilege, CallFailure::Windows(1300)),
       "skipped, SeIncreaseQuotaPrivilege cannot be enabled (error 1300)",
       "skipped, SeProfileSingleProcessPrivilege cannot be enabled (error 1300)"},
      {Step(State::kUnavailable), "skipped, this system has no SetSystemFileCacheSize",
       "skipped, this system has no memory list functions in ntdll"},
      {Step(State::kDeadline), "not run, the deadline had passed",
       "not run, the deadline had passed"},
      {Step(State::kNothingToDo, {}, 15 * kMb + 5), "",
       "skipped, its 15 MB are below the 16 MB worth writing"},
      {Step(State::kAboveCap, {}, 2300 * kMb), "",
       "skipped, its 2300 MB are above the 1024 MB that can be written without a stall"},
  };
  for (const Case& c : cases) {
    RunRecord record;
    record.report.fileCache = c.step;
    record.report.modifiedList = c.step;
    const std::string text = ToUtf8(FormatRunRecord(record, eventLog));
    if (!c.cache.empty()) {
      EXPECT_NE(text.find("\n1. System file cache: " + c.cache + ".\n"), std::string::npos) << text;
    }
    EXPECT_NE(text.find("\n3. Modified page list: " + c.modified + "."), std::string::npos) << text;
  }
}

TEST(RunRecordTest, TheHeadlineOfEachOutcome) {
  struct Case {
    Outcome outcome;
    std::int64_t before, after;
    std::string headline;
    std::uint16_t type;
  } cases[] = {
      {Outcome::kReached, 100 * kMb, 300 * kMb - 1,
       "Target reached: 199 MB more available "
       "memory, 10 MB asked.",
       platform::kEventlogInformationType},
      {Outcome::kDeadline, 100 * kMb, 100 * kMb + 5,
       "Fell short: 0 MB more available memory, 10 MB asked; the 15 s deadline passed.",
       platform::kEventlogWarningType},
      {Outcome::kStepsRanOut, 100 * kMb, 100 * kMb - 5,
       "Fell short: 0 MB more available memory, 10 MB asked; every step has been tried.",
       platform::kEventlogWarningType},
      {Outcome::kMeasurementFailed, 0, 0,
       "Failed: available memory cannot be read, so nothing was freed; 10 MB asked.",
       platform::kEventlogErrorType},
      {Outcome::kMeasurementFailed, 100 * kMb, 100 * kMb,
       "Failed: available memory could no longer be read, so the run stopped; 10 MB asked.",
       platform::kEventlogErrorType},
  };
  fake::FakeEventLog eventLog;
  for (const Case& c : cases) {
    RunRecord record;
    record.report.outcome = c.outcome;
    record.report.asked = {1, 10};
    record.report.availableBefore = c.before;
    record.report.availableAfter = c.after;
    record.deadlineSeconds = 15;
    const std::string text = ToUtf8(FormatRunRecord(record, eventLog));
    EXPECT_EQ(text.substr(0, text.find('\n')), c.headline);
    EXPECT_EQ(EventFor(c.outcome).type, c.type) << c.headline;
  }
}

TEST(RunRecordTest, MegabytesAreRoundedDownSoThatNoGainIsShownAboveWhatWasMeasured) {
  struct Case {
    std::int64_t bytes;
    std::int64_t megabytes;
  } cases[] = {
      {0, 0},   {kMb - 1, 0}, {kMb, 1},       {5 * kMb + 7, 5},
      {-1, -1}, {-kMb, -1},   {-kMb - 1, -2}, {INT64_MAX, INT64_MAX / kMb},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WholeMegabytes(c.bytes), c.megabytes) << c.bytes;
}

TEST(RunRecordTest, ABadArgumentIsShownSafely) {
  struct Case {
    std::vector<std::u16string> arguments;
    std::string tail;
  } cases[] = {
      {{}, "there is no argument."},
      {{u"1", u"2", u"3"}, "there are 3 arguments."},
      {{u"12abc"}, "\"12abc\" is not a decimal number within 32 bits."},
      {{u"a\r\nb\x7F"}, "\"a??b?\" is not a decimal number within 32 bits."},
      {{std::u16string(50, u'9')},
       "\"" + std::string(40, '9') + "...\" is not a decimal number within 32 bits."},
  };
  for (const Case& c : cases) {
    const std::string text = ToUtf8(FormatBadArgument(c.arguments));
    EXPECT_EQ(
        text,
        "Not started with one whole number of megabytes to free, so nothing was done: " + c.tail);
  }
}

}  // namespace
}  // namespace calvera::companion
