// The failure of a Windows call: its error code and the message text that installation shows.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/event_log.h"
#include "platform/types.h"

namespace calvera::service {

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

}  // namespace calvera::service
