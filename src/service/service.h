// The base of a service module: the service's side of the Service Control Manager protocol.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "service/control_queue.h"
#include "service/event_logger.h"
#include "service/service_events.h"
#include "service/service_thread.h"
#include "service/status_protocol.h"

namespace calvera::service {

// Threads of a run: the manager's thread for the service runs `ServiceEntry` and
// `HandleStart`; the dispatcher thread calls `ForwardControl` only; the service thread runs
// the handlers, the control operations and every report in between. `Status` and the check
// point pass between the first and the last only when the service thread starts and ends.
class TService {
 public:
  // The properties take the values of a plain Win32 service that starts automatically.
  TService(platform::Platform& platform, std::u16string name);
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;
  virtual ~TService();

  // Properties: set by the module's constructor or by installation, before a run.
  const std::u16string& Name() const { return name_; }
  const std::u16string& DisplayName() const { return displayName_; }
  void SetDisplayName(std::u16string displayName) { displayName_ = std::move(displayName); }
  bool AllowStop() const { return allowStop_; }
  void SetAllowStop(bool allow) { allowStop_ = allow; }
  bool AllowPause() const { return allowPause_; }
  void SetAllowPause(bool allow) { allowPause_ = allow; }
  bool Interactive() const { return interactive_; }
  void SetInteractive(bool interactive) { interactive_ = interactive; }
  TServiceType ServiceType() const { return serviceType_; }
  void SetServiceType(TServiceType type) { serviceType_ = type; }
  TStartType StartType() const { return startType_; }
  void SetStartType(TStartType type) { startType_ = type; }
  TErrorSeverity ErrorSeverity() const { return errorSeverity_; }
  void SetErrorSeverity(TErrorSeverity severity) { errorSeverity_ = severity; }
  std::uint32_t TagID() const { return tagId_; }
  void SetTagID(std::uint32_t tagId) { tagId_ = tagId; }
  const std::u16string& LoadGroup() const { return loadGroup_; }
  void SetLoadGroup(std::u16string group) { loadGroup_ = std::move(group); }
  const std::vector<TDependency>& Dependencies() const { return dependencies_; }
  void SetDependencies(std::vector<TDependency> dependencies) {
    dependencies_ = std::move(dependencies);
  }
  // Empty: the local system account.
  const std::u16string& ServiceStartName() const { return serviceStartName_; }
  void SetServiceStartName(std::u16string account) { serviceStartName_ = std::move(account); }
  const std::u16string& Password() const { return password_; }
  void SetPassword(std::u16string password) { password_ = std::move(password); }
  // Milliseconds that every report promises for the next change of state.
  std::uint32_t WaitHint() const { return waitHint_; }
  void SetWaitHint(std::uint32_t milliseconds) { waitHint_ = milliseconds; }
  std::uint32_t Win32ErrCode() const { return win32ErrCode_; }
  void SetWin32ErrCode(std::uint32_t code) { win32ErrCode_ = code; }
  // Service-specific exit code; when not 0 the reports' Win32 exit code says so (1066).
  std::uint32_t ErrCode() const { return errCode_; }
  void SetErrCode(std::uint32_t code) { errCode_ = code; }

  // Handlers, all called on the service thread. Setting OnStop allows stop; OnPause or
  // OnContinue allows pause.
  void SetOnStart(TStartEvent handler) { onStart_ = std::move(handler); }
  void SetOnStop(TStopEvent handler);
  void SetOnPause(TPauseEvent handler);
  void SetOnContinue(TContinueEvent handler);
  void SetOnShutdown(TServiceEvent handler) { onShutdown_ = std::move(handler); }
  // Without an execute handler the service thread waits for requests until terminated.
  void SetOnExecute(TServiceEvent handler) { onExecute_ = std::move(handler); }
  // Installation's hooks; nothing in the run calls them.
  void SetBeforeInstall(TServiceEvent handler) { beforeInstall_ = std::move(handler); }
  void SetAfterInstall(TServiceEvent handler) { afterInstall_ = std::move(handler); }
  void SetBeforeUninstall(TServiceEvent handler) { beforeUninstall_ = std::move(handler); }
  void SetAfterUninstall(TServiceEvent handler) { afterUninstall_ = std::move(handler); }
  const TServiceEvent& BeforeInstall() const { return beforeInstall_; }
  const TServiceEvent& AfterInstall() const { return afterInstall_; }
  const TServiceEvent& BeforeUninstall() const { return beforeUninstall_; }
  const TServiceEvent& AfterUninstall() const { return afterUninstall_; }

  // The start arguments of the latest run; the first is the service name.
  std::size_t ParamCount() const { return params_.size(); }
  const std::u16string& Param(std::size_t index) const { return params_.at(index); }

  // The service's entry: registers the control handler, reports the start and returns when
  // the service has stopped. On the thread that the manager created for the service; never
  // throws, since the manager calls it.
  void ServiceEntry(std::uint32_t argc, char16_t** argv) noexcept;
  // Hands a control code to the service thread, or drops it when there is none. On the
  // dispatcher thread; only queues, never waits for the request.
  void ForwardControl(std::uint32_t code);

  TCurrentStatus Status() const { return status_; }
  // Stores the state and reports it.
  void SetStatus(TCurrentStatus status);
  // Sends the current state to the manager; a refused report is written to the event log.
  void ReportStatus();
  // None until `ServiceEntry` has registered the control handler.
  platform::ServiceStatusHandle StatusHandle() const { return statusHandle_; }
  // The service thread while one exists, else null. Read on the service thread.
  TServiceThread* ServiceThread() const { return serviceThread_.get(); }
  // The service thread's termination flag; false without a service thread. Service thread.
  bool Terminated() const;
  // One entry under the source `Name`; the writer is created with the first entry.
  void LogMessage(const std::u16string& message,
                  std::uint16_t eventType = platform::kEventlogErrorType,
                  std::uint16_t category = 0,
                  std::uint32_t id = 0);
  // One error entry of the kind `eventId` (service/event_ids.h) under the source `Name`.
  void LogFailure(std::uint32_t eventId, const std::u16string& message);

  // The control handler that `ServiceEntry` registers: a plain function, as the manager
  // calls it, that reaches the module's `ForwardControl`.
  virtual platform::ServiceControlHandlerFunction GetServiceController() = 0;

 protected:
  // On the manager's thread for the service: runs the service thread to its end, reporting
  // the start before and the stop after it.
  virtual void HandleStart();
  // The control operations, on the service thread. Those with a result give false when the
  // handler refused.
  virtual bool HandleStop();
  virtual bool HandlePause();
  virtual bool HandleContinue();
  virtual void HandleInterrogate();
  virtual void HandleShutdown();
  virtual bool HandleCustomControl(std::uint32_t code);

 private:
  friend class TServiceThread;

  void RunServiceThread();

  platform::Platform& platform_;
  std::u16string name_;
  std::u16string displayName_;
  bool allowStop_ = true;
  bool allowPause_ = true;
  bool interactive_ = false;
  TServiceType serviceType_ = TServiceType::stWin32;
  TStartType startType_ = TStartType::stAuto;
  TErrorSeverity errorSeverity_ = TErrorSeverity::esNormal;
  std::uint32_t tagId_ = 0;
  std::u16string loadGroup_;
  std::vector<TDependency> dependencies_;
  std::u16string serviceStartName_;
  std::u16string password_;
  std::uint32_t waitHint_ = 5000;
  std::uint32_t win32ErrCode_ = 0;
  std::uint32_t errCode_ = 0;

  TStartEvent onStart_;
  TStopEvent onStop_;
  TPauseEvent onPause_;
  TContinueEvent onContinue_;
  TServiceEvent onShutdown_;
  TServiceEvent onExecute_;
  TServiceEvent beforeInstall_;
  TServiceEvent afterInstall_;
  TServiceEvent beforeUninstall_;
  TServiceEvent afterUninstall_;

  std::vector<std::u16string> params_;
  TCurrentStatus status_ = TCurrentStatus::csStopped;
  StatusCheckPoint checkPoint_;
  platform::ServiceStatusHandle statusHandle_{};
  ControlQueue requests_;
  std::unique_ptr<TServiceThread> serviceThread_;
  std::unique_ptr<TEventLogger> eventLogger_;
};

}  // namespace calvera::service
