// Everything the system asks of Windows, in one place. The system's code takes a Platform&;
// the real one lives in platform/win32, the fake in the tests.
#pragma once

#include "platform/event_log.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/service_control_manager.h"
#include "platform/system_information.h"
#include "platform/system_libraries.h"
#include "platform/windowing.h"

namespace calvera::platform {

struct Platform {
  Registry& registry;
  SystemLibraries& libraries;
  SystemInformation& system;
  Process& process;
  ServiceControlManager& services;
  EventLog& eventLog;
  Windowing& windowing;
  Resources& resources;
};

}  // namespace calvera::platform
