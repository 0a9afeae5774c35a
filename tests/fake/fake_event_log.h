// Fake event log and system message texts. (Fleshed out with the service base.)
#pragma once

#include "platform/event_log.h"

namespace calvera::fake {

class FakeEventLog : public platform::EventLog {
 public:
  platform::EventSourceHandle RegisterSource(const char16_t*) override { return 0; }
  bool Report(platform::EventSourceHandle, std::uint16_t, std::uint16_t, std::uint32_t,
              const char16_t*) override {
    return false;
  }
  void DeregisterSource(platform::EventSourceHandle) override {}
  std::u16string SystemMessage(platform::ErrorCode) override { return {}; }
};

}  // namespace calvera::fake
