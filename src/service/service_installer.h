// Creating and deleting the service entries of the executable's service modules, with the
// outcome told to the user in message boxes. On the main thread, before any service thread or
// dispatcher thread exists.
#pragma once

#include <span>
#include <string>

#include "platform/platform.h"
#include "service/service.h"

namespace calvera::service {

enum class MessageKind { kError, kInformation };

// Installs (or removes) every module in order. A module that fails gets an error box and the
// rest go on; the success box follows only when all succeeded and `silent` is false. True when
// every module succeeded, so the caller can end with a failing exit code otherwise. Throws
// WindowsCallFailure when the Service Control Manager cannot be opened.
[[nodiscard]] bool InstallOrRemoveServices(platform::Platform& platform,
                                           std::span<TService* const> modules,
                                           bool install,
                                           bool silent);

// The steps for one module; throw WindowsCallFailure when a Windows call fails.
void InstallServiceModule(platform::Platform& platform,
                          TService& service,
                          platform::ServiceHandle manager);
void RemoveServiceModule(platform::Platform& platform,
                         TService& service,
                         platform::ServiceHandle manager);

// The executable's full file name, in double quotes when it contains a blank; no arguments
// follow, so the manager starts it without switches. Throws WindowsCallFailure when the name
// cannot be had.
std::u16string ServiceProgramPath(platform::Process& process, platform::EventLog& eventLog);

// A modal box with the title "Error" or "Information", the matching icon and one OK button.
void ShowResultMessage(platform::Process& process, const std::u16string& text, MessageKind kind);

}  // namespace calvera::service
