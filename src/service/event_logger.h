// Writes entries to the Windows event log under one source name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/event_log.h"
#include "platform/scoped_handle.h"

namespace calvera::service {

// One thread at a time; the service hands its writer from thread to thread only at thread
// start and end.
class TEventLogger {
 public:
  // Keeps the name; the source is registered with the first message.
  TEventLogger(platform::EventLog& eventLog, std::u16string sourceName);
  TEventLogger(const TEventLogger&) = delete;
  TEventLogger& operator=(const TEventLogger&) = delete;
  // Deregisters the source when it was registered.
  ~TEventLogger() = default;

  // One entry with `message` as its one insertion string. Registers the source while none is
  // registered, so a failed registration is tried again with the next message: an automatic
  // service can start before the event log's own service answers, and one early refusal must
  // not silence every later entry. Entries are rare, so the retry costs nothing while things
  // work. Failures of the event log are not reported: there is nowhere left to report them.
  void LogMessage(const std::u16string& message,
                  std::uint16_t eventType = platform::kEventlogErrorType,
                  std::uint16_t category = 0,
                  std::uint32_t id = 0);

  const std::u16string& SourceName() const { return sourceName_; }

 private:
  platform::EventLog& eventLog_;
  std::u16string sourceName_;
  platform::ScopedEventSource source_;
};

}  // namespace calvera::service
