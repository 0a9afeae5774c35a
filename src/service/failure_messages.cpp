#include "service/failure_messages.h"

#include <exception>

#include "platform/failure_policy.h"
#include "platform/service_control_manager.h"
#include "platform/text.h"

namespace calvera::service {

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
