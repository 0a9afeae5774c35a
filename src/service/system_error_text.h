// The system's text for a Windows error code, as the event log entries and message boxes show it.
#pragma once

#include <string>

#include "platform/event_log.h"
#include "platform/types.h"

namespace calvera::service {

// The system's message for `code` without its line end and closing full stop: characters up
// to 0x20 and '.' are cut from the end. Empty when the system has no text. Any thread.
std::u16string SystemErrorText(platform::EventLog& eventLog, platform::ErrorCode code);

}  // namespace calvera::service
