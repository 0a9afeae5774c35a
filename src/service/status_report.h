// The SERVICE_STATUS record that a status report sends.
#pragma once

#include <cstdint>

#include "platform/service_control_manager.h"

namespace calvera::service {

class TService;

// The record for the service's current `Status`, with its properties and `checkPoint`.
platform::ServiceStatus MakeStatusReport(const TService& service, std::uint32_t checkPoint);

}  // namespace calvera::service
