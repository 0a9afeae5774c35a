// The running Windows version condensed into one small number, the version code, from the
// major and minor version and the product type that GetVersionExW reports to this executable.
// No state: any thread may call, also at the same time; the processor load sampler is the
// only caller.
#pragma once

#include <cstdint>

#include "platform/system_information.h"

namespace calvera::probes {

// Version codes, -1 to 8; -1 is a version outside the table or a failed query.
inline constexpr std::int32_t kUnknownWindowsVersion = -1;

// The version code, from a fresh GetVersionExW query (the extended form; the basic form when
// that fails, which knows no product type).
[[nodiscard]] std::int32_t GetWindowsVersionCode(platform::SystemInformation& system) noexcept;

}  // namespace calvera::probes
