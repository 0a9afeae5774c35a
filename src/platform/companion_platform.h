// Everything the companion program asks of Windows. The system's code takes a
// CompanionPlatform&; the real one lives in platform/win32, the fakes in the tests.
#pragma once

#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/memory_lists.h"
#include "platform/named_objects.h"
#include "platform/privileges.h"
#include "platform/registry.h"
#include "platform/service_control_manager.h"
#include "platform/system_file_cache.h"
#include "platform/system_libraries.h"
#include "platform/system_processes.h"
#include "platform/volatile_store.h"
#include "platform/working_sets.h"

namespace calvera::platform {

struct CompanionPlatform {
  Registry& registry;               // the settings
  SystemLibraries& libraries;       // available memory, through the memory probe
  EventLog& eventLog;               // the record of each run
  ServiceControlManager& services;  // the service's process, never trimmed
  SystemProcesses& processes;
  WorkingSets& workingSets;
  SystemFileCache& fileCache;
  MemoryLists& memoryLists;
  Privileges& privileges;
  NamedObjects& namedObjects;
  VolatileStore& volatileStore;  // what one run leaves to the next
  Clock& clock;
};

}  // namespace calvera::platform
