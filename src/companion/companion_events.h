// The companion's event log entries: their source, IDs and types, in one place. Each entry's
// text is its one insertion string, which the executable's message table
// (companion_messages.mc) renders under every ID, so Event Viewer shows the text and an
// administrator can filter by the kind. The table writes every ID with severity Success, so
// the ID Event Viewer shows is the number here.
#pragma once

#include <cstdint>
#include <string>

#include "platform/event_log.h"

namespace calvera::companion {

inline constexpr char16_t kEventSourceName[] = u"CalveraDefrag";

struct CompanionEvent {
  std::uint32_t id;
  std::uint16_t type;
};

// A worker run that reached its target.
inline constexpr CompanionEvent kTargetReachedEvent{1, platform::kEventlogInformationType};
// A worker run that fell short: the steps ran out or the deadline passed.
inline constexpr CompanionEvent kFellShortEvent{2, platform::kEventlogWarningType};
// A worker run that could not measure, or failed unexpectedly.
inline constexpr CompanionEvent kRunFailedEvent{3, platform::kEventlogErrorType};
// The program was started with an argument it cannot use.
inline constexpr CompanionEvent kBadArgumentEvent{4, platform::kEventlogWarningType};
// The named objects that the companions share cannot be had.
inline constexpr CompanionEvent kCoordinationFailedEvent{5, platform::kEventlogErrorType};

// Registers the source, writes one entry and deregisters. A failure of the event log is not
// reported: there is nowhere left to report it. Any thread.
void WriteEntry(platform::EventLog& eventLog, CompanionEvent event, const std::u16string& text);

}  // namespace calvera::companion
