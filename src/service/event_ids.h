// The event IDs of the entries that Calvera.exe writes, one for each kind of entry, in one
// place. Each entry carries its whole text as its one insertion string, and the executable's
// message table (service_messages.mc) renders every ID as that string, so Event Viewer shows
// the text and an administrator can filter by the kind. Every ID is written with severity
// Success in the table, so the ID Event Viewer shows is the number here.
#pragma once

#include <cstdint>

namespace calvera::service {

// Under the service's name, "Calvera": failures of the service. Errors.
//
// "Service failed on start: ...": the start handler failed.
inline constexpr std::uint32_t kStartFailedEvent = 1;
// "Service failed on execute: ...": the execute phase failed, or the service thread could not
// be run.
inline constexpr std::uint32_t kExecuteFailedEvent = 2;
// "Service failed on stop: ..." (pause, continue, interrogate, shutdown): a standard control
// failed.
inline constexpr std::uint32_t kControlFailedEvent = 3;
// "Service failed in custom message(128): ...": a control with another code failed.
inline constexpr std::uint32_t kCustomControlFailedEvent = 4;
// The manager refused a status report; the system's text of its error.
inline constexpr std::uint32_t kStatusReportRefusedEvent = 5;
// The control handler could not be registered, so the service never reported; the system's
// text of the error.
inline constexpr std::uint32_t kControlHandlerNotRegisteredEvent = 6;

// Under the executable's file name, "Calvera.exe": the process as a whole.
//
// The service dispatcher failed (1063 when started by hand); the system's text. Error.
inline constexpr std::uint32_t kDispatcherFailedEvent = 10;
// A failure on the main thread that left the service run. Error.
inline constexpr std::uint32_t kMainThreadFailedEvent = 11;
// The service module could not be created, so nothing ran. Error.
inline constexpr std::uint32_t kModuleNotCreatedEvent = 12;
// The event sources could not be registered at installation: the service is installed, but
// Event Viewer cannot show its texts. Warning.
inline constexpr std::uint32_t kEventSourcesNotRegisteredEvent = 20;
// The recovery actions could not be set at installation: the service is installed, and the
// manager will not restart it after a failure. Warning.
inline constexpr std::uint32_t kRecoveryActionsNotSetEvent = 21;
// A quiet installation or removal failed for a module: the text its error box would show.
// Error.
inline constexpr std::uint32_t kQuietInstallationFailedEvent = 22;

}  // namespace calvera::service
