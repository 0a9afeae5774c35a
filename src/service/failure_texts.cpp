#include "service/failure_texts.h"

#include <exception>
#include <utility>

#include "platform/failure_policy.h"
#include "platform/service_control_manager.h"
#include "platform/text.h"

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

std::u16string CurrentFailureText() noexcept {
  return TryOrDefault(
      []() -> std::u16string {
        try {
          throw;
        } catch (const std::exception& failure) {
          return FromUtf8(failure.what());
        } catch (...) {
          return u"Unknown failure";
        }
      },
      std::u16string());
}

std::u16string_view ControlActionName(std::uint32_t code) {
  switch (code) {
    case platform::kServiceControlStop:
      return u"stop";
    case platform::kServiceControlPause:
      return u"pause";
    case platform::kServiceControlContinue:
      return u"continue";
    case platform::kServiceControlInterrogate:
      return u"interrogate";
    case platform::kServiceControlShutdown:
      return u"shutdown";
    default:
      return {};
  }
}

std::u16string ServiceFailedOn(std::u16string_view action, std::u16string_view message) {
  std::u16string text = u"Service failed on ";
  text.append(action).append(u": ").append(message);
  return text;
}

std::u16string ServiceFailedInCustomMessage(std::uint32_t code, std::u16string_view message) {
  std::u16string text = u"Service failed in custom message(";
  text.append(ToDecimal(code)).append(u"): ").append(message);
  return text;
}

}  // namespace calvera::service
