// The capture of Wine's event-log channels for this session: Wine writes every ReportEventW
// as a line of its debug output (errors as err:eventlog, warnings as warn:eventlog, the rest
// as trace:eventlog), and the session script sends the debug output of the service manager,
// of every service it starts and of this program and its children to one file, with the
// writing process's id (+pid). The file is appended by many processes at once; each line
// arrives whole (the shell opened it for appending, so every write lands at its end).
// Callable from any thread: every call reads the file afresh; a file that cannot be read
// holds no lines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace calvera::e2e {

struct ChannelLine {
  DWORD processId = 0;
  std::string level;     // "err", "warn", "trace", "fixme"
  std::string channel;   // "eventlog", ...
  std::string function;  // "ReportEventW", ...
  std::string text;      // the rest of the line, as Wine's debugstr_w prints it
};

class EventLogChannel {
 public:
  // The file named by the environment variable CALVERA_E2E_CHANNELS (a Windows path).
  static const EventLogChannel& Session();

  bool IsAvailable() const { return !path_.empty(); }
  const std::wstring& Path() const { return path_; }
  // The size of what has been written so far: a later read starts there.
  std::uint64_t Mark() const;
  // The whole lines written since `mark` by any process on `channel`.
  std::vector<ChannelLine> LinesSince(std::uint64_t mark, const std::string& channel) const;
  // The event-log errors since `mark`, of every process but those in `except`.
  std::vector<ChannelLine> ErrorsSince(std::uint64_t mark,
                                       const std::vector<DWORD>& except = {}) const;

 private:
  explicit EventLogChannel(std::wstring path) : path_(std::move(path)) {}
  std::wstring path_;
};

std::string Describe(const std::vector<ChannelLine>& lines);

}  // namespace calvera::e2e
