// Fake version, clock, local time and power status. (Fleshed out with the probes.)
#pragma once

#include "platform/system_information.h"

namespace calvera::fake {

class FakeSystemInformation : public platform::SystemInformation {
 public:
  std::int32_t GetVersionEx(void*) override { return 0; }
  std::uint64_t MillisecondsSinceStart() override { return 0; }
  platform::LocalTime GetLocalTime() override { return {}; }
  std::optional<std::uint8_t> AcLineStatus() override { return std::nullopt; }
};

}  // namespace calvera::fake
