// The event sources under which Calvera's executables write, registered at installation so that
// Event Viewer finds each entry's text in the executable's message table; without them it shows
// "The description for Event ID ... cannot be found". Each source is the key
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>, with EventMessageFile
// (REG_EXPAND_SZ, the executable's full path) and TypesSupported (REG_DWORD 7: errors, warnings
// and information). On the main thread, during an installation or removal run.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "service/service.h"

namespace calvera::service {

// The key below which the sources of the Application log live, below HKEY_LOCAL_MACHINE.
inline constexpr char16_t kApplicationLogKeyPath[] =
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// The companion program's source; it writes under this name (companion/companion_events.h).
inline constexpr char16_t kCompanionEventSource[] = u"CalveraDefrag";

struct EventSource {
  std::u16string name;
  std::u16string messageFile;  // a full path
};

// The sources of this installation: each service module's name and the executable's file name
// (the process's own source), with the executable as their message file, and the companion's,
// with the companion beside the executable. Empty when the executable's name cannot be had.
std::vector<EventSource> EventSources(platform::Process& process,
                                      std::span<TService* const> modules);

// Writes each source's key, creating it or replacing its two values, and goes on after a
// failure. The error code of the first failure, or kErrorSuccess.
[[nodiscard]] platform::ErrorCode RegisterEventSources(platform::Registry& registry,
                                                       std::span<const EventSource> sources);

// Deletes each source's key; a key that is not there is no failure. The error code of the
// first failure, or kErrorSuccess.
[[nodiscard]] platform::ErrorCode RemoveEventSources(platform::Registry& registry,
                                                     std::span<const EventSource> sources);

}  // namespace calvera::service
