// Version, clock, local time and power status through kernel32. Any thread may call.
#pragma once

#include "platform/system_information.h"

namespace calvera::platform {

class Win32SystemInformation final : public SystemInformation {
 public:
  std::int32_t QueryVersion(void* record) override;
  std::uint64_t MillisecondsSinceStart() override;
  LocalTime GetLocalTime() override;
  std::optional<std::uint8_t> AcLineStatus() override;
};

}  // namespace calvera::platform
