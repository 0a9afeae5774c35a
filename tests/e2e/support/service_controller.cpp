#include "e2e/support/service_controller.h"

#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr Milliseconds kStatePoll(5);

void See(std::vector<DWORD>& seen, DWORD state) {
  if (seen.empty() || seen.back() != state)
    seen.push_back(state);
}

}  // namespace

std::string StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "STOPPED";
    case SERVICE_START_PENDING:
      return "START_PENDING";
    case SERVICE_STOP_PENDING:
      return "STOP_PENDING";
    case SERVICE_RUNNING:
      return "RUNNING";
    case SERVICE_CONTINUE_PENDING:
      return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING:
      return "PAUSE_PENDING";
    case SERVICE_PAUSED:
      return "PAUSED";
    default:
      return "UNKNOWN(" + std::to_string(state) + ")";
  }
}

std::string StateTrace::Describe() const {
  std::string text = std::string(reached ? "reached" : "not reached") + " after " +
                     std::to_string(elapsedMs) + " ms:";
  for (std::size_t i = 0; i < seen.size(); ++i)
    text += (i ? "," : " ") + StateName(seen[i]);
  if (error != ERROR_SUCCESS)
    text += " (" + ErrorText(error) + ")";
  return text;
}

ServiceController::ServiceController(const std::wstring& name) : name_(name) {
  manager_.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager_) {
    openError_ = GetLastError();
    return;
  }
  service_.reset(OpenServiceW(manager_.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service_)
    openError_ = GetLastError();
}

DWORD ServiceController::Start() {
  return StartServiceW(service_.get(), 0, nullptr) ? ERROR_SUCCESS : GetLastError();
}

ControlResult ServiceController::Send(DWORD control) {
  ControlResult result;
  result.accepted = ControlService(service_.get(), control, &result.status) != 0;
  if (!result.accepted)
    result.error = GetLastError();
  return result;
}

DWORD ServiceController::State() {
  SERVICE_STATUS status{};
  return QueryServiceStatus(service_.get(), &status) ? status.dwCurrentState : 0;
}

DWORD ServiceController::ProcessId() {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service_.get(), SC_STATUS_PROCESS_INFO,
                            reinterpret_cast<BYTE*>(&status), sizeof status, &needed)) {
    return 0;
  }
  return status.dwProcessId;
}

StateTrace ServiceController::WaitForState(DWORD state, Deadline deadline) {
  StateTrace trace;
  const std::uint64_t began = NowMs();
  WaitUntil(
      [&] {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service_.get(), &status)) {
          trace.error = GetLastError();
          return true;
        }
        See(trace.seen, status.dwCurrentState);
        trace.reached = status.dwCurrentState == state;
        return trace.reached;
      },
      deadline, kStatePoll);
  trace.elapsedMs = NowMs() - began;
  return trace;
}

StateTrace ServiceController::Await(DWORD control, DWORD state, Milliseconds timeout) {
  StateTrace trace;
  SERVICE_STATUS before{};
  if (!QueryServiceStatus(service_.get(), &before)) {
    trace.error = GetLastError();
    return trace;
  }
  const std::uint64_t sent = NowMs();
  const ControlResult result = Send(control);
  if (!result.accepted) {
    trace.error = result.error;
    trace.seen = {before.dwCurrentState};
    return trace;
  }
  StateTrace wait = WaitForState(state, Deadline::After(timeout));
  // A fast service may be past the pending state when the manager answers.
  trace.seen = {before.dwCurrentState};
  See(trace.seen, result.status.dwCurrentState);
  for (const DWORD seen : wait.seen)
    See(trace.seen, seen);
  trace.reached = wait.reached;
  trace.error = wait.error;
  trace.elapsedMs = NowMs() - sent;
  return trace;
}

StateTrace ServiceController::StartAndWait(Milliseconds timeout) {
  if (const DWORD error = Start(); error != ERROR_SUCCESS) {
    StateTrace trace;
    trace.error = error;
    return trace;
  }
  return WaitForState(SERVICE_RUNNING, Deadline::After(timeout));
}

bool ServiceController::QueryConfig(ServiceConfig* config, DWORD* error) {
  DWORD needed = 0;
  QueryServiceConfigW(service_.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + sizeof(QUERY_SERVICE_CONFIGW));
  auto* entry = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service_.get(), entry, static_cast<DWORD>(buffer.size()), &needed)) {
    *error = GetLastError();
    return false;
  }
  config->type = entry->dwServiceType;
  config->startType = entry->dwStartType;
  config->errorControl = entry->dwErrorControl;
  config->binaryPath = entry->lpBinaryPathName ? entry->lpBinaryPathName : L"";
  config->displayName = entry->lpDisplayName ? entry->lpDisplayName : L"";
  config->account = entry->lpServiceStartName ? entry->lpServiceStartName : L"";

  // The manager may keep the copy it read when the entry was created: the description is
  // read where the installer wrote it.
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name_;
  DWORD size = 0;
  config->hasRegistryDescription =
      RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Description", RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) == ERROR_SUCCESS;
  if (config->hasRegistryDescription) {
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Description", RRF_RT_REG_SZ, nullptr,
                     text.data(), &size) == ERROR_SUCCESS) {
      text.resize(wcsnlen(text.c_str(), text.size()));
      config->registryDescription = text;
    }
  }
  return true;
}

bool ServiceController::IsMarkedForDeletion() {
  const BOOL changed =
      ChangeServiceConfigW(service_.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  return !changed && GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

bool ServiceController::Exists(const std::wstring& name, DWORD* error) {
  *error = ERROR_SUCCESS;
  UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    *error = GetLastError();
    return false;
  }
  UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (service)
    return true;
  if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
    *error = GetLastError();
  return false;
}

}  // namespace calvera::e2e
