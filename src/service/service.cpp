#include "service/service.h"

#include "platform/failure_policy.h"
#include "service/event_ids.h"
#include "service/failure_texts.h"
#include "service/status_protocol.h"

namespace calvera::service {

TService::TService(platform::Platform& platform, std::u16string name)
    : platform_(platform), name_(std::move(name)) {}

TService::~TService() = default;

void TService::SetOnStop(TStopEvent handler) {
  onStop_ = std::move(handler);
  allowStop_ = true;
}

void TService::SetOnPause(TPauseEvent handler) {
  onPause_ = std::move(handler);
  allowPause_ = true;
}

void TService::SetOnContinue(TContinueEvent handler) {
  onContinue_ = std::move(handler);
  allowPause_ = true;
}

void TService::ServiceEntry(std::uint32_t argc, char16_t** argv) noexcept {
  // Nothing may escape to the manager's thread; a failure this early has no report to make.
  TryOrIgnore([&] {
    for (std::uint32_t i = 0; i < argc; ++i) {
      params_.emplace_back(argv[i] ? argv[i] : u"");
    }
    const platform::ErrorCode error = platform_.services.RegisterControlHandler(
        name_.c_str(), GetServiceController(), &statusHandle_);
    if (statusHandle_ == platform::ServiceStatusHandle{}) {
      LogFailure(kControlHandlerNotRegisteredEvent, SystemErrorText(platform_.eventLog, error));
      return;
    }
    HandleStart();
  });
}

void TService::ForwardControl(std::uint32_t code) {
  requests_.Post(code);
}

void TService::SetStatus(TCurrentStatus status) {
  status_ = status;
  ReportStatus();
}

void TService::ReportStatus() {
  const platform::ServiceStatus record = MakeStatusReport(*this, checkPoint_.Advance(status_));
  const platform::ErrorCode error = platform_.services.SetStatus(statusHandle_, record);
  if (error != platform::kErrorSuccess) {
    LogFailure(kStatusReportRefusedEvent, SystemErrorText(platform_.eventLog, error));
  }
}

bool TService::Terminated() const {
  return serviceThread_ && serviceThread_->Terminated();
}

void TService::LogMessage(const std::u16string& message,
                          std::uint16_t eventType,
                          std::uint16_t category,
                          std::uint32_t id) {
  if (!eventLogger_) {
    eventLogger_ = std::make_unique<TEventLogger>(platform_.eventLog, name_);
  }
  eventLogger_->LogMessage(message, eventType, category, id);
}

void TService::LogFailure(std::uint32_t eventId, const std::u16string& message) {
  LogMessage(message, platform::kEventlogErrorType, 0, eventId);
}

void TService::HandleStart() {
  try {
    SetStatus(TCurrentStatus::csStartPending);
    try {
      RunServiceThread();
    } catch (...) {
      SetStatus(TCurrentStatus::csStopped);
      throw;
    }
    SetStatus(TCurrentStatus::csStopped);
  } catch (...) {
    LogFailure(kExecuteFailedEvent, ServiceFailedOn(u"execute", CurrentFailureText()));
  }
}

void TService::RunServiceThread() {
  // The queue is open exactly while the thread object exists, so a request is either
  // dropped before the thread is there or handled by it.
  struct Cleanup {
    TService& service;
    ~Cleanup() {
      service.requests_.Close();
      service.serviceThread_.reset();
    }
  };
  serviceThread_ = std::make_unique<TServiceThread>(*this, requests_);
  requests_.Open();
  Cleanup cleanup{*this};
  serviceThread_->Start();
  serviceThread_->WaitFor();
}

bool TService::HandleStop() {
  bool stopped = true;
  SetStatus(TCurrentStatus::csStopPending);
  if (onStop_) {
    onStop_(*this, stopped);
  }
  if (stopped && serviceThread_) {
    serviceThread_->Terminate();
  }
  return stopped;
}

bool TService::HandlePause() {
  bool paused = true;
  SetStatus(TCurrentStatus::csPausePending);
  if (onPause_) {
    onPause_(*this, paused);
  }
  if (paused) {
    SetStatus(TCurrentStatus::csPaused);
    // Paused, the service thread does nothing until the next request: continue, stop,
    // shutdown or interrogate.
    requests_.WaitForRequest();
  }
  return paused;
}

bool TService::HandleContinue() {
  bool continued = true;
  SetStatus(TCurrentStatus::csContinuePending);
  if (onContinue_) {
    onContinue_(*this, continued);
  }
  if (continued) {
    SetStatus(TCurrentStatus::csRunning);
  }
  return continued;
}

void TService::HandleInterrogate() {
  ReportStatus();
}

void TService::HandleShutdown() {
  SetStatus(TCurrentStatus::csStopPending);
  struct TerminateAnyway {
    TService& service;
    ~TerminateAnyway() {
      if (service.serviceThread_) {
        service.serviceThread_->Terminate();
      }
    }
  } terminate{*this};
  if (onShutdown_) {
    onShutdown_(*this);
  }
}

bool TService::HandleCustomControl(std::uint32_t) {
  return true;
}

}  // namespace calvera::service
