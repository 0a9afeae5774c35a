#include "service/service_thread.h"

#include "platform/failure_policy.h"
#include "platform/service_control_manager.h"
#include "service/control_queue.h"
#include "service/event_ids.h"
#include "service/failure_texts.h"
#include "service/service.h"

namespace calvera::service {
namespace {

bool ChangesState(std::uint32_t code) {
  return code == platform::kServiceControlStop || code == platform::kServiceControlPause ||
         code == platform::kServiceControlContinue || code == platform::kServiceControlShutdown;
}

}  // namespace

TServiceThread::TServiceThread(TService& service, ControlQueue& requests)
    : service_(service), requests_(requests) {}

TServiceThread::~TServiceThread() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

void TServiceThread::Start() {
  thread_ = std::thread([this] { Execute(); });
}

void TServiceThread::WaitFor() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

namespace {

// The phase a failure of the body is reported in: its action word and its kind of entry.
struct Phase {
  const char16_t* action;
  std::uint32_t event;
};
constexpr Phase kStartPhase{u"start", kStartFailedEvent};
constexpr Phase kExecutePhase{u"execute", kExecuteFailedEvent};

}  // namespace

void TServiceThread::Execute() noexcept {
  Phase phase = kStartPhase;
  try {
    service_.SetStatus(TCurrentStatus::csStartPending);
    bool started = true;
    if (service_.onStart_) {
      service_.onStart_(service_, started);
    }
    if (!started) {
      return;
    }
    phase = kExecutePhase;
    service_.SetStatus(TCurrentStatus::csRunning);
    if (service_.onExecute_) {
      service_.onExecute_(service_);
    } else {
      ProcessRequests(true);
    }
    ProcessRequests(false);
  } catch (...) {
    const std::u16string text = CurrentFailureText();
    TryOrIgnore([&] { service_.LogFailure(phase.event, ServiceFailedOn(phase.action, text)); });
  }
}

void TServiceThread::ProcessRequests(bool waitForMessage) {
  for (;;) {
    if (waitForMessage && terminated_) {
      return;
    }
    const auto code = waitForMessage ? requests_.Take() : requests_.TryTake();
    if (!code) {
      return;
    }
    RunControlRequest(*code);
  }
}

void TServiceThread::WaitForRequest(std::chrono::milliseconds limit) {
  static_cast<void>(requests_.WaitForRequest(limit));
}

void TServiceThread::RunControlRequest(std::uint32_t code) {
  // An accepted stop or shutdown has set the flag, and the service is on its way to STOPPED:
  // a control that was queued behind it must neither take it back to PAUSED or RUNNING nor
  // run a handler a second time. An interrogate still reports the pending stop.
  if (terminated_ && ChangesState(code))
    return;
  const TCurrentStatus old = service_.Status();
  try {
    bool ok = true;
    switch (code) {
      case platform::kServiceControlStop:
        ok = service_.HandleStop();
        break;
      case platform::kServiceControlPause:
        ok = service_.HandlePause();
        break;
      case platform::kServiceControlContinue:
        ok = service_.HandleContinue();
        break;
      case platform::kServiceControlInterrogate:
        service_.HandleInterrogate();
        break;
      case platform::kServiceControlShutdown:
        service_.HandleShutdown();
        break;
      default:
        ok = service_.HandleCustomControl(code);
        break;
    }
    if (!ok) {
      service_.SetStatus(old);
    }
  } catch (...) {
    const std::u16string text = CurrentFailureText();
    // A shutdown has terminated the thread regardless, so its state stays.
    if (code != platform::kServiceControlShutdown) {
      service_.SetStatus(old);
    }
    const std::u16string_view action = ControlActionName(code);
    if (action.empty()) {
      service_.LogFailure(kCustomControlFailedEvent, ServiceFailedInCustomMessage(code, text));
    } else {
      service_.LogFailure(kControlFailedEvent, ServiceFailedOn(action, text));
    }
  }
}

}  // namespace calvera::service
