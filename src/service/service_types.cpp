#include "service/service_types.h"

#include "platform/service_control_manager.h"

namespace calvera::service {

std::uint32_t ServiceTypeCode(TServiceType type, bool interactive) {
  switch (type) {
    case TServiceType::stDevice:
      return platform::kServiceKernelDriver;
    case TServiceType::stFileSystem:
      return platform::kServiceFileSystemDriver;
    case TServiceType::stWin32:
      break;
  }
  return interactive ? platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess
                     : platform::kServiceWin32OwnProcess;
}

}  // namespace calvera::service
