#include "platform/win32/win32_companion_platform.h"

#include "platform/win32/win32_companion_parts.h"
#include "platform/win32/win32_event_log.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_service_control_manager.h"
#include "platform/win32/win32_system_libraries.h"

namespace calvera::platform {

CompanionPlatform& Win32CompanionPlatform() {
  // Created on first use, from whichever thread comes first; the parts hold no state. Only the
  // parts the companion uses, so that it loads no library it does not need.
  static Win32Registry registry;
  static Win32SystemLibraries libraries;
  static Win32EventLog eventLog;
  static Win32ServiceControlManager services;
  static Win32SystemProcesses processes;
  static Win32WorkingSets workingSets;
  static Win32SystemFileCache fileCache;
  static Win32MemoryLists memoryLists;
  static Win32Privileges privileges;
  static Win32NamedObjects namedObjects;
  static Win32VolatileStore volatileStore;
  static Win32Clock clock;
  static CompanionPlatform platform{registry,   libraries,    eventLog,      services,
                                    processes,  workingSets,  fileCache,     memoryLists,
                                    privileges, namedObjects, volatileStore, clock};
  return platform;
}

}  // namespace calvera::platform
