#include "service/service_types.h"

namespace calvera::service {

namespace {
constexpr std::uint32_t kServiceKernelDriver = 0x1;
constexpr std::uint32_t kServiceFileSystemDriver = 0x2;
constexpr std::uint32_t kServiceWin32OwnProcess = 0x10;
constexpr std::uint32_t kServiceInteractiveProcess = 0x100;
}  // namespace

std::uint32_t ServiceTypeCode(TServiceType type, bool interactive) {
  switch (type) {
    case TServiceType::stDevice:
      return kServiceKernelDriver;
    case TServiceType::stFileSystem:
      return kServiceFileSystemDriver;
    case TServiceType::stWin32:
      break;
  }
  return interactive ? kServiceWin32OwnProcess | kServiceInteractiveProcess
                     : kServiceWin32OwnProcess;
}

}  // namespace calvera::service
