// Talks to one service through the Service Control Manager: starts it, sends controls, waits
// for a state with a deadline while recording every state it saw, reads its entry. Holds its
// handles for as long as it lives: destroy it before removing the service, or the manager
// keeps the entry, marked for deletion, until it is closed. One thread at a time.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "e2e/support/deadline.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {

// "RUNNING", "STOP_PENDING", ...; "UNKNOWN(n)" for anything else.
std::string StateName(DWORD state);

// What a wait saw: the distinct states in the order seen, the first being the state before a
// control was sent; whether the wanted one was reached, and when.
struct StateTrace {
  bool reached = false;
  DWORD error = ERROR_SUCCESS;  // a query or control that failed ends the wait
  std::uint64_t elapsedMs = 0;  // from the control (or the start of the wait) to the last look
  std::vector<DWORD> seen;
  std::string Describe() const;  // "STOPPED after 512 ms: RUNNING,STOP_PENDING,STOPPED"
};

// What the manager handed back for one control.
struct ControlResult {
  bool accepted = false;
  DWORD error = ERROR_SUCCESS;  // why it was refused
  SERVICE_STATUS status{};      // the status handed back; all 0 when none came with a refusal
};

// The entry as the manager keeps it, and the description as the installer stored it in the
// service's key.
struct ServiceConfig {
  DWORD type = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::wstring binaryPath;
  std::wstring displayName;
  std::wstring account;
  std::wstring registryDescription;
  bool hasRegistryDescription = false;
};

class ServiceController {
 public:
  explicit ServiceController(const std::wstring& name);
  ServiceController(const ServiceController&) = delete;
  ServiceController& operator=(const ServiceController&) = delete;
  ServiceController(ServiceController&&) = default;

  // False when the manager or the entry could not be opened; OpenError() tells why.
  bool IsOpen() const { return static_cast<bool>(service_); }
  DWORD OpenError() const { return openError_; }

  // StartServiceW; ERROR_SUCCESS or its error.
  [[nodiscard]] DWORD Start();
  ControlResult Send(DWORD control);
  // The current state, or 0 when it cannot be had.
  DWORD State();
  // The service's process, or 0 while it has none.
  DWORD ProcessId();
  // Polls every 5 ms until the service is in `state`.
  StateTrace WaitForState(DWORD state, Deadline deadline);
  // Sends `control`, then waits for `state`; the trace begins with the state before it.
  StateTrace Await(DWORD control, DWORD state, Milliseconds timeout);
  // Starts the service and waits for RUNNING.
  StateTrace StartAndWait(Milliseconds timeout);
  bool QueryConfig(ServiceConfig* config, DWORD* error);
  // Whether the entry has been deleted while handles to it are still open: the manager then
  // refuses every change of it with ERROR_SERVICE_MARKED_FOR_DELETE.
  bool IsMarkedForDeletion();

  // Whether an entry of that name exists; false also with *error set when the manager
  // cannot be asked.
  static bool Exists(const std::wstring& name, DWORD* error);

 private:
  std::wstring name_;
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
  DWORD openError_ = ERROR_SUCCESS;
};

}  // namespace calvera::e2e
