// The service module "Calvera": its handlers switch the maintenance timer, whose ticks run the
// maintenance on the thread that created the module.
#pragma once

#include <cstdint>

#include "maintenance/maintenance_tick.h"
#include "platform/calling_convention.h"
#include "platform/platform.h"
#include "service/service.h"
#include "service/timer.h"

namespace calvera::service {

class TCalvera : public TService {
 public:
  // On the main thread, which from here on owns MainTimer and receives its ticks: the timer
  // is armed at once, 1000 ms, calling `tick.MainTimerTimer`. Throws when it cannot be armed.
  TCalvera(platform::Platform& platform, maintenance::MaintenanceTick& tick);
  // On the main thread, after the service has stopped.
  ~TCalvera() override;

  TTimer& MainTimer() { return mainTimer_; }

  // Returns ServiceControlHandler.
  platform::ServiceControlHandlerFunction GetServiceController() override;

  // The handlers, on the service thread. Each swallows its own failures and accepts every
  // request.
  void ServiceStart(TService& sender, bool& started);
  void ServiceStop(TService& sender, bool& stopped);
  void ServicePause(TService& sender, bool& paused);
  void ServiceContinue(TService& sender, bool& continued);
  void ServiceShutdown(TService& sender);
  // Polls for control requests every 500 ms until terminated.
  void ServiceExecute(TService& sender);

 private:
  maintenance::MaintenanceTick& tick_;
  TTimer mainTimer_;
};

// The process's one module, through which the control handler reaches it. The program entry
// sets it once the module exists and before the dispatcher starts, and clears it before the
// module is destroyed. Any thread.
void SetCalveraModule(TCalvera* module) noexcept;
TCalvera* CalveraModule() noexcept;

// The control handler that the manager calls on the dispatcher thread: forwards the code to
// the module; swallows every failure.
void CALVERA_WINAPI ServiceControlHandler(std::uint32_t code) noexcept;

}  // namespace calvera::service
