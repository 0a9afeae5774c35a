// Reads what the stand-in companion records beside itself in companion.log: a line
// "start <arguments> <ms since the system started>" when it starts and "done ..." when it
// ends, 1.5 s later. Many stand-ins append at once; each line arrives whole (the stand-in
// appends under a lock), and a last line still without its end is left for a later read.
// Callable from any thread: every call reads the file afresh; a file that cannot be read
// holds no records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "e2e/support/deadline.h"

namespace calvera::e2e {

struct CompanionRecord {
  bool start = false;  // false: "done"
  std::string arguments;
  std::uint64_t tickMs = 0;
};

class CompanionLog {
 public:
  explicit CompanionLog(std::wstring path) : path_(std::move(path)) {}

  const std::wstring& Path() const { return path_; }
  // Every whole record so far, in the order written.
  std::vector<CompanionRecord> Records() const;
  // The number of records so far: a later read of what came after starts there.
  std::size_t Mark() const { return Records().size(); }
  std::vector<CompanionRecord> RecordsSince(std::size_t mark) const;
  // The amounts of the starts since `mark`; an argument that is no number reads as INT64_MIN.
  std::vector<std::int64_t> StartedAmountsSince(std::size_t mark) const;
  // Waits until at least `count` starts have been recorded since `mark`.
  bool WaitForStarts(std::size_t mark, std::size_t count, Deadline deadline) const;
  // Removes the file: the next record starts a new one.
  void Remove() const;

 private:
  std::wstring path_;
};

}  // namespace calvera::e2e
