// The texts of failures, as the event log entries and the message boxes show them: the failure
// of a Windows call that carries its error code and the system's text of it
// (platform/system_error_text.h), and the service's messages about failed handlers. Any thread
// may call.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/event_log.h"
#include "platform/system_error_text.h"
#include "platform/types.h"

namespace calvera::service {

// The failure of a Windows call: its error code and the message text that installation shows.
class WindowsCallFailure : public std::runtime_error {
 public:
  // "System Error.  Code: <code>." with a line break and the system's text of the code, or
  // "A call to an OS function failed" for the code 0.
  WindowsCallFailure(platform::EventLog& eventLog, platform::ErrorCode code);

  platform::ErrorCode Code() const { return code_; }
  // what() as UTF-16.
  const std::u16string& Text() const { return text_; }

 private:
  WindowsCallFailure(platform::ErrorCode code, std::u16string text);

  platform::ErrorCode code_;
  std::u16string text_;
};

// The message text of the failure being handled; call only inside a catch block. A failure
// that carries no text of its own gives "Unknown failure".
std::u16string CurrentFailureText() noexcept;

// The action word of a standard control code: 1 "stop", 2 "pause", 3 "continue",
// 4 "interrogate", 5 "shutdown"; empty for any other code.
std::u16string_view ControlActionName(std::uint32_t code);

// "Service failed on %s: %s", for the start, the execute phase and the standard controls.
std::u16string ServiceFailedOn(std::u16string_view action, std::u16string_view message);

// "Service failed in custom message(%d): %s", for any other control code.
std::u16string ServiceFailedInCustomMessage(std::uint32_t code, std::u16string_view message);

}  // namespace calvera::service
