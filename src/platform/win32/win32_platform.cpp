#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_event_log.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_service_control_manager.h"
#include "platform/win32/win32_system_information.h"
#include "platform/win32/win32_system_libraries.h"
#include "platform/win32/win32_windowing.h"

namespace calvera::platform {

Platform& Win32Platform() {
  // Created on first use, from whichever thread comes first; the parts hold no state.
  static Win32Registry registry;
  static Win32SystemLibraries libraries;
  static Win32SystemInformation system;
  static Win32Process process;
  static Win32ServiceControlManager services;
  static Win32EventLog eventLog;
  static Win32Windowing windowing;
  static Win32Resources resources;
  static Platform platform{registry, libraries, system,    process,
                           services, eventLog,  windowing, resources};
  return platform;
}

}  // namespace calvera::platform
