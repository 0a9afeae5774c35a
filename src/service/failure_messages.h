// The texts of the service's event log entries about failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace calvera::service {

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
