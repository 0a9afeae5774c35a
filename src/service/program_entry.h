// The program's entry, on the main thread: the start-up correction, the one service module,
// and the service application's run.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace calvera::service {

// `arguments` are those after the program path. Returns the process exit code: 0 after a
// service run and after a successful installation or removal, 1 after a failed one and when
// the Service Control Manager could not be opened (the "Application Error" box says why), and
// 1 after a service run that a failure ended early (its event log entry says why). With QUIET,
// an installation or removal shows no box: its failures are event log entries.
int ProgramEntry(platform::Platform& platform, std::vector<std::u16string> arguments) noexcept;

// The last-resort report of a failure that left an installation or removal run: a task-modal
// error box titled "Application Error", shown also for silent runs. A service run and a quiet
// installation or removal write such a failure to the event log instead.
void ShowApplicationError(platform::Process& process,
                          const std::u16string& typeName,
                          const std::u16string& message) noexcept;

}  // namespace calvera::service
