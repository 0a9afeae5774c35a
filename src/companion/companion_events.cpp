#include "companion/companion_events.h"

#include "platform/scoped_handle.h"

namespace calvera::companion {

void WriteEntry(platform::EventLog& eventLog, CompanionEvent event, const std::u16string& text) {
  const platform::ScopedEventSource source(eventLog, eventLog.RegisterSource(kEventSourceName));
  if (source)
    static_cast<void>(eventLog.Report(source.get(), event.type, 0, event.id, text.c_str()));
}

}  // namespace calvera::companion
