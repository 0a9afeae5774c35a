// The running executable's full file name as the system reports it (not cut at 260
// characters), split at its last delimiter: '\' or ':'. One rule for every name taken from it:
// the companion's path beside the executable, and the executable's file name.
#pragma once

#include <string>

#include "platform/process.h"

namespace calvera::platform {

// The executable's folder: its full file name up to and including the last delimiter, so a
// file name appended to it needs none. Empty when the name cannot be had or has no delimiter.
// Any thread.
std::u16string ExecutableDirectory(Process& process);

// The last component of the executable's full file name, extension included; the whole name
// when it has no delimiter, empty when it cannot be had. Any thread.
std::u16string ExecutableFileName(Process& process);

}  // namespace calvera::platform
