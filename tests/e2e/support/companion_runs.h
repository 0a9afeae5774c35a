// The real companion's side of the end-to-end tests: its runs started by hand, the event-log
// entries of its processes as Wine's channels show them, the accounting lines of its records,
// and the state it keeps for the next run in the volatile key below the service's key. Wine
// prints only about the first 290 characters of an entry; the records put their accounting of
// requests first, so it is always there. Callable from any thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {

// The companion's record as Wine prints it: the text with its line breaks, not its quotes.
struct CompanionEntry {
  DWORD processId = 0;
  std::string level;  // "err", "warn" or "trace"
  std::string text;   // lines separated by '\n'; cut where Wine stopped printing
};

// The entries written since `mark` by the processes `processIds`, in order; with `except`, by
// every process but those.
std::vector<CompanionEntry> CompanionEntriesSince(std::uint64_t mark,
                                                  const std::vector<DWORD>& processIds,
                                                  bool except = false);

// Requests and megabytes, as a record's "Asked:" and "Dropped while cooling down" parts say.
struct RequestCount {
  std::uint64_t requests = 0;
  std::uint64_t megabytes = 0;
  friend bool operator==(const RequestCount&, const RequestCount&) = default;
};
// What a worker run served ("Asked: 1024 MB in 2 requests."), and what it reports as dropped
// during the cooldown before it; nullopt for a record without its "Asked:" line.
std::optional<RequestCount> AskedIn(const CompanionEntry& entry);
RequestCount DroppedBefore(const CompanionEntry& entry);

// The stored state, HKLM\SYSTEM\CurrentControlSet\Services\Calvera\CompanionState, value
// RunState: a little-endian record of format 1 whose header the tests read and patch.
struct CompanionState {
  std::uint64_t cooldownUntil = 0;  // GetTickCount64 milliseconds; 0: none
  std::uint32_t droppedRequests = 0;
  std::uint64_t droppedMegabytes = 0;
  std::uint32_t trimmed = 0;  // processes in the history
};
// nullopt when the key or value is absent or is no such record.
std::optional<CompanionState> ReadCompanionState();
// Ends the cooldown the state holds, as its end in time would, keeping the dropped count.
// ERROR_SUCCESS or the registry's error.
LONG EndCompanionCooldown();

// A companion started without waiting for it, as the service starts it; its handle is closed
// with the object, and a companion still running then is left to end by itself.
class StartedCompanion {
 public:
  StartedCompanion(const std::wstring& program, const std::wstring& arguments);

  bool Started() const { return static_cast<bool>(process_); }
  DWORD ProcessId() const { return processId_; }
  bool Ended() const;
  // The exit code once it has ended; nullopt before.
  std::optional<DWORD> ExitCode() const;

 private:
  UniqueKernelHandle process_;
  DWORD processId_ = 0;
};

}  // namespace calvera::e2e
