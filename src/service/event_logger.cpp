#include "service/event_logger.h"

#include <utility>

namespace calvera::service {

TEventLogger::TEventLogger(platform::EventLog& eventLog, std::u16string sourceName)
    : eventLog_(eventLog), sourceName_(std::move(sourceName)) {}

void TEventLogger::LogMessage(const std::u16string& message,
                              std::uint16_t eventType,
                              std::uint16_t category,
                              std::uint32_t id) {
  if (!source_) {
    source_ = platform::ScopedEventSource(eventLog_, eventLog_.RegisterSource(sourceName_.c_str()));
  }
  static_cast<void>(eventLog_.Report(source_.get(), eventType, category, id, message.c_str()));
}

}  // namespace calvera::service
