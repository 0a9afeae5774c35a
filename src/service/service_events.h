// The handler types through which a service module answers the Service Control Manager.
#pragma once

#include <functional>

namespace calvera::service {

class TService;

// The bool is true on entry; a handler that leaves it false refuses the request.
using TStartEvent = std::function<void(TService& sender, bool& started)>;
using TStopEvent = std::function<void(TService& sender, bool& stopped)>;
using TPauseEvent = std::function<void(TService& sender, bool& paused)>;
using TContinueEvent = std::function<void(TService& sender, bool& continued)>;

// Shutdown, the execute phase and the installation hooks.
using TServiceEvent = std::function<void(TService& sender)>;

}  // namespace calvera::service
