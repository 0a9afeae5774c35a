// Raw data resources of the executable and the ANSI code page through kernel32. Any thread may
// call.
#pragma once

#include "platform/resources.h"

namespace calvera::platform {

class Win32Resources final : public Resources {
 public:
  std::optional<std::span<const std::byte>> FindRcData(const char16_t* name) override;
  std::u16string DecodeAnsi(std::span<const std::byte> bytes) override;
};

}  // namespace calvera::platform
