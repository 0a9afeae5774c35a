// Creating and deleting the service entries of the executable's service modules, with the
// outcome told to the user in message boxes. On the main thread, before any service thread or
// dispatcher thread exists.
#pragma once

#include <span>
#include <string>

#include "platform/platform.h"
#include "service/event_logger.h"
#include "service/service.h"

namespace calvera::service {

enum class MessageKind { kError, kInformation };

// Which outcomes of an installation or removal are shown in a box.
enum class ResultBoxes {
  kAll,           // each failure and the success
  kFailuresOnly,  // /silent
  kNone,          // /quiet: a failure is an error entry in the log instead
};

// Installs (or removes) every module in order. A module that fails is reported as `boxes`
// says and the rest go on; the success box follows only when all succeeded and `boxes` is
// kAll. True when every module succeeded, so the caller can end with a failing exit code
// otherwise. Throws WindowsCallFailure when the Service Control Manager cannot be opened.
// Once every module is installed, the event sources are registered (service/event_sources.h);
// a removal deletes them whatever became of the modules, so that no source outlives the
// executables. Neither decides the outcome: the service runs without them, only Event Viewer
// lacks the texts, so a registration that fails is a warning entry in `log` and a deletion that
// fails is let be.
[[nodiscard]] bool InstallOrRemoveServices(platform::Platform& platform,
                                           std::span<TService* const> modules,
                                           bool install,
                                           ResultBoxes boxes,
                                           TEventLogger& log);

// The steps for one module; throw WindowsCallFailure when a Windows call fails. Installation
// also sets the recovery actions (kRecoveryActions); when the manager refuses them the entry
// stays installed and the refusal is a warning entry in `log`.
void InstallServiceModule(platform::Platform& platform,
                          TService& service,
                          platform::ServiceHandle manager,
                          TEventLogger& log);
void RemoveServiceModule(platform::Platform& platform,
                         TService& service,
                         platform::ServiceHandle manager);

// What the manager does when the service's process ends without having reported a stop: start
// it again after a minute, the first and the second time; after that nothing, until a day
// without a failure has set the count back. As `sc failure Calvera reset= 86400
// actions= restart/60000/restart/60000//` sets them.
inline constexpr platform::ServiceRecoveryAction kRecoveryActions[] = {
    {platform::kScActionRestart, 60000},
    {platform::kScActionRestart, 60000},
    {platform::kScActionNone, 0}};
inline constexpr std::uint32_t kRecoveryResetPeriodSeconds = 86400;

// The executable's full file name, in double quotes when it contains a blank; no arguments
// follow, so the manager starts it without switches. Throws WindowsCallFailure when the name
// cannot be had.
std::u16string ServiceProgramPath(platform::Process& process, platform::EventLog& eventLog);

// A modal box with the title "Error" or "Information", the matching icon and one OK button.
void ShowResultMessage(platform::Process& process, const std::u16string& text, MessageKind kind);

}  // namespace calvera::service
