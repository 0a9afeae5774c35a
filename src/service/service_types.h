// The kinds of service, start and error control that a service module declares.
#pragma once

#include <cstdint>
#include <string>

namespace calvera::service {

enum class TServiceType { stWin32, stDevice, stFileSystem };

enum class TStartType { stBoot, stSystem, stAuto, stManual, stDisabled };

enum class TErrorSeverity { esIgnore, esNormal, esSevere, esCritical };

// A service or load-order group that must start before this service.
struct TDependency {
  std::u16string name;
  bool isGroup = false;
};

// The service type that status reports and the service's entry carry: SERVICE_WIN32_OWN_PROCESS
// (0x10) for stWin32, with SERVICE_INTERACTIVE_PROCESS (0x100) when interactive;
// SERVICE_KERNEL_DRIVER (1) for stDevice and SERVICE_FILE_SYSTEM_DRIVER (2) for stFileSystem.
// The executable hosts a single service, so the share-process type never applies.
std::uint32_t ServiceTypeCode(TServiceType type, bool interactive);

}  // namespace calvera::service
