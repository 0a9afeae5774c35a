// A whole fake Windows: one of each fake, and the Platform that the system's code takes.
#pragma once

#include "fake/fake_event_log.h"
#include "fake/fake_process.h"
#include "fake/fake_registry.h"
#include "fake/fake_resources.h"
#include "fake/fake_service_control_manager.h"
#include "fake/fake_system_information.h"
#include "fake/fake_system_libraries.h"
#include "fake/fake_windowing.h"
#include "platform/platform.h"

namespace calvera::fake {

struct FakePlatform {
  FakeRegistry registry;
  FakeSystemLibraries libraries;
  FakeSystemInformation system;
  FakeProcess process;
  FakeServiceControlManager services;
  FakeEventLog eventLog;
  FakeWindowing windowing;
  FakeResources resources;

  platform::Platform platform{registry, libraries, system,    process,
                              services, eventLog,  windowing, resources};
};

}  // namespace calvera::fake
