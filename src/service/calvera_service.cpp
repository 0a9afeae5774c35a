#include "service/calvera_service.h"

#include <atomic>
#include <chrono>

#include "platform/failure_policy.h"
#include "service/install_hooks.h"

namespace calvera::service {

namespace {

// How long a control request waits at most, apart from the request before it.
constexpr auto kRequestPollInterval = std::chrono::milliseconds(500);

std::atomic<TCalvera*> calveraModule{nullptr};

}  // namespace

TCalvera::TCalvera(platform::Platform& platform, maintenance::MaintenanceTick& tick)
    : TService(platform, u"Calvera"), tick_(tick), mainTimer_(platform.windowing) {
  SetDisplayName(u"Calvera");
  SetOnStart([this](TService& sender, bool& started) { ServiceStart(sender, started); });
  SetOnStop([this](TService& sender, bool& stopped) { ServiceStop(sender, stopped); });
  SetOnPause([this](TService& sender, bool& paused) { ServicePause(sender, paused); });
  SetOnContinue([this](TService& sender, bool& continued) { ServiceContinue(sender, continued); });
  SetOnShutdown([this](TService& sender) { ServiceShutdown(sender); });
  SetOnExecute([this](TService& sender) { ServiceExecute(sender); });
  SetBeforeInstall([host = &platform](TService& sender) { ServiceBeforeInstall(*host, sender); });
  SetAfterInstall([host = &platform](TService& sender) { ServiceAfterInstall(*host, sender); });
  // The tick ends a failing tick itself, without a word, so nothing reaches the timer's
  // failure handler: a failure that lasts would otherwise write an entry every second.
  mainTimer_.SetOnTimer([this](TTimer&) { tick_.MainTimerTimer(); });
}

TCalvera::~TCalvera() = default;

platform::ServiceControlHandlerFunction TCalvera::GetServiceController() {
  return &ServiceControlHandler;
}

void TCalvera::ServiceStart(TService&, bool& started) {
  TryOrIgnore([&] { tick_.SetServiceStarted(); });
  started = true;
}

void TCalvera::ServiceStop(TService&, bool& stopped) {
  TryOrIgnore([&] { mainTimer_.SetEnabled(false); });
  stopped = true;
}

void TCalvera::ServicePause(TService&, bool& paused) {
  TryOrIgnore([&] { mainTimer_.SetEnabled(false); });
  paused = true;
}

void TCalvera::ServiceContinue(TService&, bool& continued) {
  TryOrIgnore([&] { mainTimer_.SetEnabled(true); });
  continued = true;
}

void TCalvera::ServiceShutdown(TService&) {
  TryOrIgnore([&] { mainTimer_.SetEnabled(false); });
}

void TCalvera::ServiceExecute(TService&) {
  while (!Terminated()) {
    // Idle, the thread wakes every half second as before; a queued request wakes it at once.
    TryOrIgnore([this] {
      ServiceThread()->WaitForRequest(kRequestPollInterval);
      ServiceThread()->ProcessRequests(false);
    });
  }
}

void SetCalveraModule(TCalvera* module) noexcept {
  calveraModule.store(module);
}

TCalvera* CalveraModule() noexcept {
  return calveraModule.load();
}

void CALVERA_WINAPI ServiceControlHandler(std::uint32_t code) noexcept {
  TryOrIgnore([&] {
    if (TCalvera* module = CalveraModule()) {
      module->ForwardControl(code);
    }
  });
}

}  // namespace calvera::service
