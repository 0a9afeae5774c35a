// The texts of the companion's event log entries: plain sentences, one fact per line, each line
// led by the same words every time so that a reader (or a test) finds what it looks for. Any
// thread may call; the texts of error codes come from the event log, which gives an empty text
// rather than fail.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/companion_events.h"
#include "companion/coordination.h"
#include "companion/freeing_run.h"
#include "platform/event_log.h"

namespace calvera::companion {

// A worker run and what surrounded it.
struct RunRecord {
  RunReport report;
  PendingRequests droppedBefore;  // during the cooldown before this run
  bool previousWorkerAbandoned = false;
  bool inPrivateNamespace = true;
  platform::ErrorCode namespaceError = 0;  // why not, when not
  platform::ErrorCode stateError = 0;      // what this run leaves could not be kept
  std::uint32_t cooldownSeconds = 0;       // after a run that fell short
  std::uint32_t deadlineSeconds = 0;
};

// Information for a run that reached its target, a warning for one that fell short, an error
// for one that could not measure.
CompanionEvent EventFor(RunReport::Outcome outcome);

// Megabytes of a byte count, rounded down, so that a gain is never claimed above what was
// measured.
std::int64_t WholeMegabytes(std::int64_t bytes);

// The entry of a worker run, for example:
//   Target reached: 1062 MB more available memory, 1024 MB asked.
//   Asked: 1024 MB in 1 request.
//   Available memory: 2048 MB before, 3110 MB after.
//   Freed by the steps: 1061 MB in 1.42 s.
//   1. System file cache: +312 MB in 0.21 s.
//   2. Idle processes: +749 MB in 0.90 s, 6 trimmed: chrome.exe 810 MB, Code.exe 402 MB,
//      Teams.exe 300 MB and 3 more.
//      Skipped: 12 protected, 40 small, 3 busy, 2 excluded, 1 recently trimmed.
//   3. Modified page list: not needed.
// The system's texts of error codes come from `eventLog`.
std::u16string FormatRunRecord(const RunRecord& record, platform::EventLog& eventLog);

// The entry of an argument that cannot be used.
std::u16string FormatBadArgument(const std::vector<std::u16string>& arguments);

// "error 5: Access is denied": the code with the system's text of it (SystemErrorText);
// "error 5" when the system has no text for it.
std::u16string DescribeError(platform::EventLog& eventLog, platform::ErrorCode error);

}  // namespace calvera::companion
