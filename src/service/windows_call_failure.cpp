#include "service/windows_call_failure.h"

#include "platform/text.h"
#include "service/system_error_text.h"

namespace calvera::service {
namespace {

std::u16string FailureText(platform::EventLog& eventLog, platform::ErrorCode code) {
  if (code == 0)
    return u"A call to an OS function failed";
  return u"System Error.  Code: " + ToDecimal(code) + u".\r\n" + SystemErrorText(eventLog, code);
}

}  // namespace

WindowsCallFailure::WindowsCallFailure(platform::EventLog& eventLog, platform::ErrorCode code)
    : WindowsCallFailure(code, FailureText(eventLog, code)) {}

WindowsCallFailure::WindowsCallFailure(platform::ErrorCode code, std::u16string text)
    : std::runtime_error(ToUtf8(text)), code_(code), text_(std::move(text)) {}

}  // namespace calvera::service
