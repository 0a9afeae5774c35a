#include "fake/fake_service_control_manager.h"

namespace calvera::fake {

using platform::ErrorCode;

namespace {

// The list of NUL-terminated names that ends with an empty one.
std::vector<std::u16string> SplitMultiString(const char16_t* list) {
  std::vector<std::u16string> names;
  while (list != nullptr && *list != u'\0') {
    names.emplace_back(list);
    list += names.back().size() + 1;
  }
  return names;
}

ErrorCode Refusal(const platform::ServiceStatus& last, std::uint32_t code) {
  if (last.currentState == platform::kServiceStopped) {
    return platform::kErrorServiceNotActive;
  }
  if (code == platform::kServiceControlInterrogate) {
    return 0;
  }
  if (last.currentState != platform::kServiceRunning &&
      last.currentState != platform::kServicePaused) {
    return platform::kErrorServiceCannotAcceptControl;
  }
  const std::uint32_t needed =
      code == platform::kServiceControlStop ? platform::kServiceAcceptStop
      : code == platform::kServiceControlPause || code == platform::kServiceControlContinue
          ? platform::kServiceAcceptPauseContinue
      : code == platform::kServiceControlShutdown ? platform::kServiceAcceptShutdown
                                                  : 0;
  return (last.controlsAccepted & needed) == needed ? 0 : platform::kErrorInvalidServiceControl;
}
}  // namespace

FakeServiceControlManager::~FakeServiceControlManager() {
  std::thread dispatcher;
  {
    std::lock_guard lock(mutex_);
    shuttingDown_ = true;
    dispatcher = std::move(ownDispatcher_);
  }
  changed_.notify_all();
  if (dispatcher.joinable()) {
    dispatcher.join();
  }
  // Service threads are only added by a serving dispatcher, and none serves any more.
  for (auto& thread : serviceThreads_) {
    thread.join();
  }
}

std::u16string FakeServiceControlManager::Key(const std::u16string& name) {
  std::u16string key = name;
  for (auto& c : key) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  return key;
}

ErrorCode FakeServiceControlManager::TakeFailure(Call call) {
  auto found = failures_.find(call);
  if (found == failures_.end() || found->second.error == 0 || found->second.times == 0) {
    return 0;
  }
  if (found->second.after > 0) {
    --found->second.after;
    return 0;
  }
  if (found->second.times > 0) {
    --found->second.times;
  }
  return found->second.error;
}

ErrorCode FakeServiceControlManager::RunDispatcher(const platform::ServiceTableEntry* table) {
  std::unique_lock lock(mutex_);
  if (!startedByManager_) {
    return platform::kErrorFailedServiceControllerConnect;
  }
  if (const ErrorCode failure = TakeFailure(Call::kRunDispatcher); failure != 0) {
    return failure;
  }
  if (dispatcherRunning_) {
    return platform::kErrorServiceAlreadyRunning;
  }
  for (; table != nullptr && table->serviceName != nullptr; ++table) {
    table_[Key(table->serviceName)] = table->serviceMain;
  }
  dispatcherRunning_ = true;
  Serve(lock, [this] { return AllReturned(); });
  dispatcherRunning_ = false;
  return 0;
}

bool FakeServiceControlManager::AllReturned() const {
  if (starts_.empty()) {
    return false;
  }
  for (const auto& [key, count] : starts_) {
    const auto returned = returns_.find(key);
    if (returned == returns_.end() || returned->second < count) {
      return false;
    }
  }
  return true;
}

void FakeServiceControlManager::Serve(std::unique_lock<std::mutex>& lock,
                                      const std::function<bool()>& finished) {
  for (;;) {
    changed_.wait(lock, [&] { return !commands_.empty() || finished(); });
    if (commands_.empty()) {
      return;
    }
    Command command = std::move(commands_.front());
    commands_.pop_front();
    if (command.start) {
      platform::ServiceMainFunction serviceMain = command.serviceMain;
      if (serviceMain == nullptr) {
        const auto found = table_.find(Key(command.name));
        serviceMain = found != table_.end() ? found->second : nullptr;
      }
      if (serviceMain != nullptr) {
        Launch(command, serviceMain);
      }
      continue;
    }
    const auto registration = registrations_.find(Key(command.name));
    const auto handler =
        registration != registrations_.end() ? registration->second.handler : nullptr;
    lock.unlock();
    if (handler != nullptr) {
      handler(command.code);
    }
    lock.lock();
    *command.done = true;
    changed_.notify_all();
  }
}

void FakeServiceControlManager::Launch(const Command& command,
                                       platform::ServiceMainFunction serviceMain) {
  const std::u16string key = Key(command.name);
  ++starts_[key];
  std::vector<std::u16string> arguments = command.arguments;
  arguments.insert(arguments.begin(), command.name);
  serviceThreads_.emplace_back([this, key, serviceMain, arguments]() mutable {
    std::vector<char16_t*> argv;
    for (auto& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    serviceMain(static_cast<std::uint32_t>(arguments.size()), argv.data());
    std::lock_guard lock(mutex_);
    ++returns_[key];
    changed_.notify_all();
  });
}

void FakeServiceControlManager::EnsureDispatcher() {
  if (!dispatcherRunning_ && !ownDispatcher_.joinable()) {
    ownDispatcher_ = std::thread([this] {
      std::unique_lock lock(mutex_);
      Serve(lock, [this] { return shuttingDown_; });
    });
  }
}

ErrorCode FakeServiceControlManager::RegisterControlHandler(
    const char16_t* serviceName,
    platform::ServiceControlHandlerFunction handler,
    platform::ServiceStatusHandle* handle) {
  std::lock_guard lock(mutex_);
  *handle = {};
  ErrorCode failure = TakeFailure(Call::kRegisterControlHandler);
  if (failure == 0 && (serviceName == nullptr || handler == nullptr)) {
    failure = platform::kErrorInvalidParameter;
  }
  if (failure != 0) {
    return failure;
  }
  const std::u16string key = Key(serviceName);
  *handle = statusHandleValues_.Next();
  registrations_[key] = {handler, *handle};
  statusHandles_[*handle] = key;
  lastStatus_.erase(key);
  return platform::kErrorSuccess;
}

ErrorCode FakeServiceControlManager::SetStatus(platform::ServiceStatusHandle handle,
                                               const platform::ServiceStatus& status) {
  std::lock_guard lock(mutex_);
  ++setStatusCalls_;
  if (const ErrorCode failure = TakeFailure(Call::kSetStatus); failure != 0) {
    return failure;
  }
  const auto found = statusHandles_.find(handle);
  if (found == statusHandles_.end()) {
    return platform::kErrorInvalidHandle;
  }
  reports_.push_back({handle, status});
  lastStatus_[found->second] = status;
  changed_.notify_all();
  return 0;
}

ErrorCode FakeServiceControlManager::OpenManager(std::uint32_t, platform::ServiceHandle* manager) {
  std::lock_guard lock(mutex_);
  *manager = {};
  if (const ErrorCode failure = TakeFailure(Call::kOpenManager); failure != 0) {
    return failure;
  }
  *manager = Opened({true, {}});
  return platform::kErrorSuccess;
}

ErrorCode FakeServiceControlManager::CreateServiceEntry(
    platform::ServiceHandle manager,
    const platform::ServiceDefinition& definition,
    platform::ServiceHandle* service) {
  std::lock_guard lock(mutex_);
  *service = {};
  ErrorCode failure = TakeFailure(Call::kCreateService);
  const auto managerHandle = openHandles_.find(manager);
  if (failure == 0 && (managerHandle == openHandles_.end() || !managerHandle->second.manager)) {
    failure = platform::kErrorInvalidHandle;
  }
  if (failure == 0 && (definition.serviceName == nullptr || *definition.serviceName == u'\0' ||
                       definition.binaryPathName == nullptr)) {
    failure = platform::kErrorInvalidParameter;
  }
  const std::u16string key = failure == 0 ? Key(definition.serviceName) : std::u16string();
  if (failure == 0) {
    if (const auto existing = entries_.find(key); existing != entries_.end()) {
      failure = existing->second.markedForDelete ? platform::kErrorServiceMarkedForDelete
                                                 : platform::kErrorServiceExists;
    }
  }
  if (failure != 0) {
    return failure;
  }
  Entry entry;
  entry.name = definition.serviceName;
  entry.displayName = definition.displayName ? definition.displayName : definition.serviceName;
  entry.serviceType = definition.serviceType;
  entry.startType = definition.startType;
  entry.errorControl = definition.errorControl;
  entry.binaryPathName = definition.binaryPathName;
  entry.loadOrderGroup = definition.loadOrderGroup ? definition.loadOrderGroup : u"";
  entry.dependencies = SplitMultiString(definition.dependencies);
  if (definition.serviceStartName != nullptr) {
    entry.serviceStartName = definition.serviceStartName;
  }
  entry.password = definition.password ? definition.password : u"";
  entries_[key] = std::move(entry);
  *service = Opened({false, key, definition.desiredAccess});
  return platform::kErrorSuccess;
}

ErrorCode FakeServiceControlManager::OpenServiceEntry(platform::ServiceHandle manager,
                                                      const char16_t* serviceName,
                                                      std::uint32_t access,
                                                      platform::ServiceHandle* service) {
  std::lock_guard lock(mutex_);
  *service = {};
  ErrorCode failure = TakeFailure(Call::kOpenService);
  const auto managerHandle = openHandles_.find(manager);
  if (failure == 0 && (managerHandle == openHandles_.end() || !managerHandle->second.manager)) {
    failure = platform::kErrorInvalidHandle;
  }
  const std::u16string key = serviceName ? Key(serviceName) : std::u16string();
  if (failure == 0 && !entries_.contains(key)) {
    failure = platform::kErrorServiceDoesNotExist;
  }
  if (failure != 0) {
    return failure;
  }
  *service = Opened({false, key, access});
  return platform::kErrorSuccess;
}

ErrorCode FakeServiceControlManager::DeleteServiceEntry(platform::ServiceHandle service) {
  std::lock_guard lock(mutex_);
  if (const ErrorCode failure = TakeFailure(Call::kDeleteService); failure != 0) {
    return failure;
  }
  const OpenHandle* open = OpenService(service);
  if (open == nullptr) {
    return platform::kErrorInvalidHandle;
  }
  Entry* entry = EntryOf(*open);
  if (entry == nullptr) {
    return platform::kErrorServiceDoesNotExist;
  }
  if (entry->markedForDelete) {
    return platform::kErrorServiceMarkedForDelete;
  }
  entry->markedForDelete = true;
  return 0;
}

ErrorCode FakeServiceControlManager::QueryServiceProcessId(platform::ServiceHandle service,
                                                           std::uint32_t* processId) {
  std::lock_guard lock(mutex_);
  *processId = 0;
  if (const ErrorCode failure = TakeFailure(Call::kQueryServiceProcessId); failure != 0) {
    return failure;
  }
  const OpenHandle* open = OpenService(service);
  if (open == nullptr) {
    return platform::kErrorInvalidHandle;
  }
  const Entry* entry = EntryOf(*open);
  if (entry == nullptr) {
    return platform::kErrorServiceDoesNotExist;
  }
  *processId = entry->processId;
  return platform::kErrorSuccess;
}

ErrorCode FakeServiceControlManager::ChangeFailureActions(
    platform::ServiceHandle service,
    const platform::ServiceFailureActions& actions) {
  std::lock_guard lock(mutex_);
  if (const ErrorCode failure = TakeFailure(Call::kChangeFailureActions); failure != 0) {
    return failure;
  }
  const OpenHandle* open = OpenService(service);
  if (open == nullptr) {
    return platform::kErrorInvalidHandle;
  }
  bool restarts = false;
  for (const auto& action : actions.actions) {
    restarts = restarts || action.type == platform::kScActionRestart;
  }
  const std::uint32_t needed =
      platform::kServiceChangeConfig | (restarts ? platform::kServiceStart : 0);
  if ((open->access & needed) != needed) {
    return platform::kErrorAccessDenied;
  }
  Entry* entry = EntryOf(*open);
  if (entry == nullptr) {
    return platform::kErrorServiceDoesNotExist;
  }
  if (entry->markedForDelete) {
    return platform::kErrorServiceMarkedForDelete;
  }
  entry->resetPeriodSeconds = actions.resetPeriodSeconds;
  entry->recoveryActions.assign(actions.actions.begin(), actions.actions.end());
  return platform::kErrorSuccess;
}

platform::ServiceHandle FakeServiceControlManager::Opened(OpenHandle open) {
  const platform::ServiceHandle handle = handleValues_.Next();
  openHandles_[handle] = std::move(open);
  return handle;
}

const FakeServiceControlManager::OpenHandle* FakeServiceControlManager::OpenService(
    platform::ServiceHandle service) const {
  const auto found = openHandles_.find(service);
  return found == openHandles_.end() || found->second.manager ? nullptr : &found->second;
}

FakeServiceControlManager::Entry* FakeServiceControlManager::EntryOf(const OpenHandle& open) {
  const auto found = entries_.find(open.service);
  return found == entries_.end() ? nullptr : &found->second;
}

void FakeServiceControlManager::CloseServiceHandle(platform::ServiceHandle handle) {
  std::lock_guard lock(mutex_);
  const auto found = openHandles_.find(handle);
  if (found == openHandles_.end()) {
    ++unmatchedCloses_;
    return;
  }
  const OpenHandle closed = found->second;
  openHandles_.erase(found);
  if (closed.manager) {
    return;
  }
  for (const auto& [other, open] : openHandles_) {
    if (!open.manager && open.service == closed.service) {
      return;
    }
  }
  if (const auto entry = entries_.find(closed.service);
      entry != entries_.end() && entry->second.markedForDelete) {
    entries_.erase(entry);
  }
}

void FakeServiceControlManager::FailCall(Call call, ErrorCode error, int times, int after) {
  std::lock_guard lock(mutex_);
  failures_[call] = {error, times, after};
}

void FakeServiceControlManager::SetStartedByManager(bool started) {
  std::lock_guard lock(mutex_);
  startedByManager_ = started;
}

void FakeServiceControlManager::RequestStart(const std::u16string& name,
                                             platform::ServiceMainFunction serviceMain,
                                             std::vector<std::u16string> arguments) {
  std::lock_guard lock(mutex_);
  commands_.push_back({true, name, serviceMain, std::move(arguments), 0, nullptr});
  EnsureDispatcher();
  changed_.notify_all();
}

void FakeServiceControlManager::RequestStart(const std::u16string& name,
                                             std::vector<std::u16string> arguments) {
  std::lock_guard lock(mutex_);
  commands_.push_back({true, name, nullptr, std::move(arguments), 0, nullptr});
  changed_.notify_all();
}

ErrorCode FakeServiceControlManager::SendControl(const std::u16string& name,
                                                 std::uint32_t code,
                                                 std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const std::u16string key = Key(name);
  if (!registrations_.contains(key)) {
    return platform::kErrorServiceNotActive;
  }
  const auto last = lastStatus_.find(key);
  platform::ServiceStatus unreported;
  unreported.currentState = platform::kServiceStartPending;
  if (const ErrorCode refusal =
          Refusal(last != lastStatus_.end() ? last->second : unreported, code);
      refusal != 0) {
    return refusal;
  }
  auto done = std::make_shared<bool>(false);
  commands_.push_back({false, name, nullptr, {}, code, done});
  EnsureDispatcher();
  changed_.notify_all();
  return changed_.wait_for(lock, timeout, [&] { return *done; })
             ? 0
             : platform::kErrorServiceRequestTimeout;
}

platform::ServiceControlHandlerFunction FakeServiceControlManager::Handler(
    const std::u16string& name) const {
  std::lock_guard lock(mutex_);
  const auto found = registrations_.find(Key(name));
  return found != registrations_.end() ? found->second.handler : nullptr;
}

std::vector<FakeServiceControlManager::StatusReport> FakeServiceControlManager::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

std::size_t FakeServiceControlManager::SetStatusCalls() const {
  std::lock_guard lock(mutex_);
  return setStatusCalls_;
}

bool FakeServiceControlManager::WaitForReports(
    const std::function<bool(const std::vector<StatusReport>&)>& done,
    std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(reports_); });
}

bool FakeServiceControlManager::WaitForServiceMainReturn(const std::u16string& name,
                                                         std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const std::u16string key = Key(name);
  return changed_.wait_for(lock, timeout, [&] {
    const auto started = starts_.find(key);
    const auto returned = returns_.find(key);
    return started != starts_.end() && returned != returns_.end() &&
           returned->second >= started->second;
  });
}

void FakeServiceControlManager::AddEntry(Entry entry) {
  std::lock_guard lock(mutex_);
  const std::u16string key = Key(entry.name);
  entries_[key] = std::move(entry);
}

std::optional<FakeServiceControlManager::Entry> FakeServiceControlManager::FindEntry(
    const std::u16string& name) const {
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(Key(name));
  return found != entries_.end() ? std::optional(found->second) : std::nullopt;
}

std::size_t FakeServiceControlManager::OpenHandleCount() const {
  std::lock_guard lock(mutex_);
  return openHandles_.size();
}

std::size_t FakeServiceControlManager::UnmatchedCloses() const {
  std::lock_guard lock(mutex_);
  return unmatchedCloses_;
}

}  // namespace calvera::fake
