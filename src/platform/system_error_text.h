// The system's text of a Windows error code, as the event log entries and message boxes show it.
#pragma once

#include <string>

#include "platform/event_log.h"
#include "platform/types.h"

namespace calvera::platform {

// The system's message for `code` without its line end and closing full stop: characters up to
// 0x20 and '.' are cut from the end. Empty when the system has no text. Any thread may call.
std::u16string SystemErrorText(EventLog& eventLog, ErrorCode code);

}  // namespace calvera::platform
