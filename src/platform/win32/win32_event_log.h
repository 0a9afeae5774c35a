// The event log and the system's message texts through advapi32 and kernel32. Any thread may
// call.
#pragma once

#include "platform/event_log.h"

namespace calvera::platform {

class Win32EventLog final : public EventLog {
 public:
  EventSourceHandle RegisterSource(const char16_t* sourceName) override;
  bool Report(EventSourceHandle source,
              std::uint16_t type,
              std::uint16_t category,
              std::uint32_t eventId,
              const char16_t* message) override;
  void DeregisterSource(EventSourceHandle source) override;
  std::u16string SystemMessage(ErrorCode code) override;
};

}  // namespace calvera::platform
