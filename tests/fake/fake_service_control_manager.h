// Fake Service Control Manager. It drives a service as the real manager does: the service's
// main runs on a thread the manager creates, and controls reach the registered handler on a
// dispatcher thread, refused as the manager refuses them in the service's last reported state.
// It records every status report in full, can fail its functions on demand, and keeps a small
// table of service entries with a ledger of open handles for installation.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fake/handle_values.h"
#include "platform/service_control_manager.h"

namespace calvera::fake {

class FakeServiceControlManager : public platform::ServiceControlManager {
 public:
  enum class Call {
    kRegisterControlHandler,
    kSetStatus,
    kOpenManager,
    kCreateService,
    kOpenService,
    kDeleteService,
    kRunDispatcher,
    kQueryServiceProcessId,
    kChangeFailureActions,
  };

  struct StatusReport {
    platform::ServiceStatusHandle handle;
    platform::ServiceStatus status;
  };

  // A service's entry as CreateServiceW stored it.
  struct Entry {
    std::u16string name;
    std::u16string displayName;
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::u16string binaryPathName;
    std::u16string loadOrderGroup;
    std::vector<std::u16string> dependencies;
    std::optional<std::u16string> serviceStartName;  // none: the local system account
    std::u16string password;
    bool markedForDelete = false;
    std::uint32_t processId = 0;  // of the process that runs the service; 0: stopped
    // The recovery actions, as ChangeServiceConfig2W stored them; none until set.
    std::optional<std::uint32_t> resetPeriodSeconds;
    std::vector<platform::ServiceRecoveryAction> recoveryActions;
  };

  FakeServiceControlManager() = default;
  FakeServiceControlManager(const FakeServiceControlManager&) = delete;
  FakeServiceControlManager& operator=(const FakeServiceControlManager&) = delete;
  // Ends its own dispatcher thread and waits for every service main it started to return.
  ~FakeServiceControlManager() override;

  // platform::ServiceControlManager
  // Fails with 1063 unless `SetStartedByManager`, and with a scripted failure before serving
  // anything; otherwise serves starts and controls on the
  // calling thread until every service it started has returned from its main.
  platform::ErrorCode RunDispatcher(const platform::ServiceTableEntry* table) override;
  platform::ErrorCode RegisterControlHandler(const char16_t* serviceName,
                                             platform::ServiceControlHandlerFunction handler,
                                             platform::ServiceStatusHandle* handle) override;
  // ERROR_INVALID_HANDLE (6) for a handle that was not registered.
  platform::ErrorCode SetStatus(platform::ServiceStatusHandle handle,
                                const platform::ServiceStatus& status) override;
  platform::ErrorCode OpenManager(std::uint32_t access, platform::ServiceHandle* manager) override;
  // 1073 when the name exists, 1072 when its entry is marked for deletion.
  platform::ErrorCode CreateServiceEntry(platform::ServiceHandle manager,
                                         const platform::ServiceDefinition& definition,
                                         platform::ServiceHandle* service) override;
  // 1060 when there is no entry of that name.
  platform::ErrorCode OpenServiceEntry(platform::ServiceHandle manager,
                                       const char16_t* serviceName,
                                       std::uint32_t access,
                                       platform::ServiceHandle* service) override;
  // Marks the entry; it goes when its last handle is closed. 1072 when marked already.
  platform::ErrorCode DeleteServiceEntry(platform::ServiceHandle service) override;
  // The entry's processId.
  platform::ErrorCode QueryServiceProcessId(platform::ServiceHandle service,
                                            std::uint32_t* processId) override;
  // Stores the actions in the entry. 6 for a handle that is not an entry's, 5 for one opened
  // without SERVICE_CHANGE_CONFIG (or without SERVICE_START for a restart), 1072 when the
  // entry is marked for deletion.
  platform::ErrorCode ChangeFailureActions(platform::ServiceHandle service,
                                           const platform::ServiceFailureActions& actions) override;
  void CloseServiceHandle(platform::ServiceHandle handle) override;

  // After `after` calls that succeed, the next `times` calls of that function fail with
  // `error` (-1: every later call; an error of 0 clears it).
  void FailCall(Call call, platform::ErrorCode error, int times = -1, int after = 0);
  // Whether the process counts as started by the manager, so that RunDispatcher connects.
  void SetStartedByManager(bool started);

  // Starts the service: `serviceMain` runs on a new thread with argv[0] = `name`, and the
  // fake's own dispatcher thread carries the controls.
  void RequestStart(const std::u16string& name,
                    platform::ServiceMainFunction serviceMain,
                    std::vector<std::u16string> arguments = {});
  // Starts a service of the table that RunDispatcher serves (now or once it is called).
  void RequestStart(const std::u16string& name, std::vector<std::u16string> arguments = {});
  // ControlService: refused with 1062 when the service is not running (no handler, or
  // STOPPED reported), 1061 while it reports a pending state or has reported nothing (any
  // code but interrogate), and 1052 for stop, pause, continue or shutdown that its last
  // report does not accept. Otherwise the handler runs on the dispatcher thread and this
  // returns 0 once it has returned, or 1053 after `timeout`.
  platform::ErrorCode SendControl(const std::u16string& name,
                                  std::uint32_t code,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // The handler registered last for that service, null when none.
  platform::ServiceControlHandlerFunction Handler(const std::u16string& name) const;
  // The successful reports, in order.
  std::vector<StatusReport> Reports() const;
  std::size_t SetStatusCalls() const;
  bool WaitForReports(const std::function<bool(const std::vector<StatusReport>&)>& done,
                      std::chrono::milliseconds timeout) const;
  // True once every start of that service has returned from its main (and there was one).
  bool WaitForServiceMainReturn(const std::u16string& name, std::chrono::milliseconds timeout);

  void AddEntry(Entry entry);
  std::optional<Entry> FindEntry(const std::u16string& name) const;
  std::size_t OpenHandleCount() const;
  // CloseServiceHandle calls on a handle that was not open: never opened, or closed already.
  std::size_t UnmatchedCloses() const;

 private:
  struct Command {
    bool start;
    std::u16string name;
    platform::ServiceMainFunction serviceMain;  // null: from the dispatcher's table
    std::vector<std::u16string> arguments;
    std::uint32_t code;
    std::shared_ptr<bool> done;
  };
  struct Registration {
    platform::ServiceControlHandlerFunction handler;
    platform::ServiceStatusHandle handle;
  };
  struct OpenHandle {
    bool manager;
    std::u16string service;  // key
    std::uint32_t access = 0;
  };

  static std::u16string Key(const std::u16string& name);
  platform::ErrorCode TakeFailure(Call call);       // under mutex_
  void EnsureDispatcher();                          // under mutex_
  platform::ServiceHandle Opened(OpenHandle open);  // under mutex_
  // The open handle `service` when it is a service's, not the manager's; nullptr otherwise.
  const OpenHandle* OpenService(platform::ServiceHandle service) const;  // under mutex_
  // The entry that a service handle names; nullptr once it is gone.
  Entry* EntryOf(const OpenHandle& open);  // under mutex_
  // Runs commands on the calling thread until `finished` holds with none waiting.
  void Serve(std::unique_lock<std::mutex>& lock, const std::function<bool()>& finished);
  void Launch(const Command& command, platform::ServiceMainFunction serviceMain);  // under mutex_
  bool AllReturned() const;                                                        // under mutex_

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  struct Failure {
    platform::ErrorCode error = 0;
    int times = 0;  // -1: without end
    int after = 0;
  };
  std::map<Call, Failure> failures_;
  std::size_t unmatchedCloses_ = 0;
  bool startedByManager_ = false;
  bool dispatcherRunning_ = false;
  std::map<std::u16string, platform::ServiceMainFunction> table_;
  std::deque<Command> commands_;
  std::thread ownDispatcher_;
  bool shuttingDown_ = false;
  std::vector<std::thread> serviceThreads_;
  std::map<std::u16string, int> starts_;
  std::map<std::u16string, int> returns_;
  std::map<std::u16string, Registration> registrations_;
  std::map<platform::ServiceStatusHandle, std::u16string> statusHandles_;
  std::map<std::u16string, platform::ServiceStatus> lastStatus_;
  HandleValues<platform::ServiceStatusHandle> statusHandleValues_{0x5000};
  std::vector<StatusReport> reports_;
  std::size_t setStatusCalls_ = 0;
  std::map<std::u16string, Entry> entries_;
  std::map<platform::ServiceHandle, OpenHandle> openHandles_;
  HandleValues<platform::ServiceHandle> handleValues_{0x6000};
};

}  // namespace calvera::fake
