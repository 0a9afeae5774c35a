// The Windows event log and the system's message texts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace calvera::platform {

// HANDLE of a registered event source; {} is none.
enum class EventSourceHandle : std::uintptr_t {};

// Event types (EVENTLOG_ERROR_TYPE ...).
inline constexpr std::uint16_t kEventlogErrorType = 1;
inline constexpr std::uint16_t kEventlogWarningType = 2;
inline constexpr std::uint16_t kEventlogInformationType = 4;

// No function gives an error code: a failure shows only as none, false or an empty text, since
// the event log is where failures would be reported. Any thread may call.
class EventLog {
 public:
  virtual ~EventLog() = default;

  // RegisterEventSourceW on the local computer; 0 on failure.
  virtual EventSourceHandle RegisterSource(const char16_t* sourceName) = 0;
  // ReportEventW with no user, one insertion string and no raw data; true on success.
  virtual bool Report(EventSourceHandle source,
                      std::uint16_t type,
                      std::uint16_t category,
                      std::uint32_t eventId,
                      const char16_t* message) = 0;
  // DeregisterEventSource. Keeps the thread's last error as it was.
  virtual void DeregisterSource(EventSourceHandle source) = 0;
  // FormatMessageW with FORMAT_MESSAGE_FROM_SYSTEM | IGNORE_INSERTS | ARGUMENT_ARRAY |
  // ALLOCATE_BUFFER (0x3300), language 0: the text as the system gives it, line end and
  // all; empty when there is none.
  virtual std::u16string SystemMessage(ErrorCode code) = 0;
};

}  // namespace calvera::platform
