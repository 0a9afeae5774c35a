// calvera_sc <command> <service> [argument]
//   start | stop | pause | continue | interrogate | control <code>: sends the request and
//       prints the state the manager reports back, e.g. "RUNNING", or "error <code>";
//   query: prints the current state;
//   wait <state> [timeout ms]: waits until the service reports that state (default 10 s);
//   config: prints the entry's type, start type, error control, path and display name, one
//       "key=value" per line, and its description;
//   await <control> <state> <timeout ms>: sends the control (a word above or a code) and
//       waits for the state, printing how long it took and the states on the way;
//   storm <count> <seed>: sends that many random pause, continue, interrogate and custom
//       controls as fast as the manager takes them, and prints the statuses handed back.
// Exit code 0 on success, 1 on failure.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// Prints UTF-8, whatever the console's code page: the tests read non-ASCII display names.
void Print(const wchar_t* format, ...) {
  wchar_t text[4096];
  va_list arguments;
  va_start(arguments, format);
  std::vswprintf(text, sizeof text / sizeof text[0], format, arguments);
  va_end(arguments);
  char bytes[4096 * 3];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
  DWORD written = 0;
  if (length > 1) {
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, static_cast<DWORD>(length - 1), &written,
              nullptr);
  }
}

const wchar_t* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return L"STOPPED";
    case SERVICE_START_PENDING:
      return L"START_PENDING";
    case SERVICE_STOP_PENDING:
      return L"STOP_PENDING";
    case SERVICE_RUNNING:
      return L"RUNNING";
    case SERVICE_CONTINUE_PENDING:
      return L"CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING:
      return L"PAUSE_PENDING";
    case SERVICE_PAUSED:
      return L"PAUSED";
    default:
      return L"UNKNOWN";
  }
}

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() {
    if (handle_)
      CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

int Fail(const wchar_t* what) {
  Print(L"error %lu %ls\n", GetLastError(), what);
  return 1;
}

bool Query(SC_HANDLE service, SERVICE_STATUS* status) {
  return QueryServiceStatus(service, status) != 0;
}

int Control(SC_HANDLE service, DWORD code) {
  SERVICE_STATUS status{};
  if (!ControlService(service, code, &status))
    return Fail(L"ControlService");
  Print(L"%ls\n", StateName(status.dwCurrentState));
  return 0;
}

int Wait(SC_HANDLE service, const std::wstring& wanted, DWORD timeout) {
  const ULONGLONG end = GetTickCount64() + timeout;
  SERVICE_STATUS status{};
  do {
    if (!Query(service, &status))
      return Fail(L"QueryServiceStatus");
    if (wanted == StateName(status.dwCurrentState)) {
      Print(L"%ls\n", StateName(status.dwCurrentState));
      return 0;
    }
    Sleep(20);
  } while (GetTickCount64() < end);
  Print(L"timeout %ls\n", StateName(status.dwCurrentState));
  return 1;
}

int Config(SC_HANDLE service, const wchar_t* name) {
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed + 1);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service, config, needed, &needed))
    return Fail(L"QueryServiceConfigW");
  Print(L"type=%lu\nstart=%lu\nerror=%lu\npath=%ls\ndisplay=%ls\naccount=%ls\n",
        config->dwServiceType, config->dwStartType, config->dwErrorControl,
        config->lpBinaryPathName, config->lpDisplayName,
        config->lpServiceStartName ? config->lpServiceStartName : L"");
  QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
  std::vector<BYTE> described(needed + sizeof(SERVICE_DESCRIPTIONW));
  auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(described.data());
  if (QueryServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, described.data(),
                           static_cast<DWORD>(described.size()), &needed)) {
    Print(L"description=%ls\n", description->lpDescription ? description->lpDescription : L"");
  }
  // The description as the installer stored it in the service's key; the manager may keep
  // the copy it read when the entry was created.
  std::wstring key = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + name;
  wchar_t text[2048] = L"";
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Description", RRF_RT_REG_SZ, nullptr, text,
                   &size) == ERROR_SUCCESS) {
    Print(L"registry_description=%ls\n", text);
  }
  return 0;
}

// A control word (stop, pause, continue, interrogate) or a decimal code; 0 when neither.
DWORD ControlCode(const std::wstring& word) {
  static const struct {
    const wchar_t* word;
    DWORD code;
  } kWords[] = {{L"stop", SERVICE_CONTROL_STOP},
                {L"pause", SERVICE_CONTROL_PAUSE},
                {L"continue", SERVICE_CONTROL_CONTINUE},
                {L"interrogate", SERVICE_CONTROL_INTERROGATE}};
  for (const auto& known : kWords) {
    if (word == known.word)
      return known.code;
  }
  return static_cast<DWORD>(std::wcstoul(word.c_str(), nullptr, 10));
}

// Sends the control, then polls every 5 ms until the service reports the wanted state. Prints
// "<state> <ms from sending> <every distinct state seen, in order>", starting with the state
// before the control, e.g. "STOPPED 12 RUNNING,STOP_PENDING,STOPPED"; "timeout ..." in the same
// form when the time runs out.
int Await(SC_HANDLE service, DWORD code, const std::wstring& wanted, DWORD timeout) {
  SERVICE_STATUS status{};
  if (!Query(service, &status))
    return Fail(L"QueryServiceStatus");
  std::wstring seen = StateName(status.dwCurrentState);
  const auto see = [&seen](const std::wstring& state) {
    if (seen.size() < state.size() ||
        seen.compare(seen.size() - state.size(), state.size(), state) != 0)
      seen += L"," + state;
  };
  const ULONGLONG sent = GetTickCount64();
  if (!ControlService(service, code, &status))
    return Fail(L"ControlService");
  see(StateName(status.dwCurrentState));
  for (;;) {
    const ULONGLONG elapsed = GetTickCount64() - sent;
    if (!Query(service, &status))
      return Fail(L"QueryServiceStatus");
    const std::wstring state = StateName(status.dwCurrentState);
    see(state);
    if (state == wanted || elapsed >= timeout) {
      Print(L"%ls %llu %ls\n", state == wanted ? state.c_str() : L"timeout", elapsed, seen.c_str());
      return state == wanted ? 0 : 1;
    }
    Sleep(5);
  }
}

// Sends random pause, continue, interrogate and custom controls as fast as the manager takes
// them and records every status the manager hands back. Prints "state <name> <count>" and
// "accepts <controls accepted> <count>" for those statuses, "refused <error> <count>" for the
// controls the manager turned down, and the time it all took.
int Storm(SC_HANDLE service, int count, unsigned seed) {
  std::srand(seed);
  const DWORD standard[] = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE,
                            SERVICE_CONTROL_INTERROGATE};
  std::map<std::wstring, int> states;
  std::map<DWORD, int> accepts;
  std::map<DWORD, int> refusals;
  const ULONGLONG started = GetTickCount64();
  for (int i = 0; i < count; ++i) {
    const int pick = std::rand() % 4;  // a custom code (128 to 255) as often as each other
    const DWORD code = pick < 3 ? standard[pick] : 128 + static_cast<DWORD>(std::rand() % 128);
    SERVICE_STATUS status{};
    if (!ControlService(service, code, &status)) {
      ++refusals[GetLastError()];  // e.g. a pause while one is pending
      if (status.dwCurrentState == 0)
        continue;  // nothing handed back with the refusal
    }
    ++states[status.dwCurrentState <= SERVICE_PAUSED
                 ? StateName(status.dwCurrentState)
                 : L"UNKNOWN(" + std::to_wstring(status.dwCurrentState) + L")"];
    ++accepts[status.dwControlsAccepted];
  }
  for (const auto& [state, seen] : states)
    Print(L"state %ls %d\n", state.c_str(), seen);
  for (const auto& [accepted, seen] : accepts)
    Print(L"accepts %lu %d\n", accepted, seen);
  for (const auto& [error, seen] : refusals)
    Print(L"refused %lu %d\n", error, seen);
  Print(L"took %llu ms\n", GetTickCount64() - started);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fwprintf(stderr, L"usage: calvera_sc <command> <service> [argument]\n");
    return 2;
  }
  const std::wstring command = argv[1];
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager.get())
    return Fail(L"OpenSCManagerW");
  ServiceHandle service(OpenServiceW(manager.get(), argv[2], SERVICE_ALL_ACCESS));
  if (!service.get())
    return Fail(L"OpenServiceW");

  if (command == L"start") {
    if (!StartServiceW(service.get(), 0, nullptr))
      return Fail(L"StartServiceW");
    SERVICE_STATUS status{};
    if (!Query(service.get(), &status))
      return Fail(L"QueryServiceStatus");
    Print(L"%ls\n", StateName(status.dwCurrentState));
    return 0;
  }
  if (command == L"stop" || command == L"pause" || command == L"continue" ||
      command == L"interrogate") {
    return Control(service.get(), ControlCode(command));
  }
  if (command == L"control" && argc > 3) {
    return Control(service.get(), static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  }
  if (command == L"query") {
    SERVICE_STATUS status{};
    if (!Query(service.get(), &status))
      return Fail(L"QueryServiceStatus");
    Print(L"%ls\n", StateName(status.dwCurrentState));
    return 0;
  }
  if (command == L"wait" && argc > 3) {
    return Wait(service.get(), argv[3],
                argc > 4 ? static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)) : 10000);
  }
  if (command == L"config")
    return Config(service.get(), argv[2]);
  if (command == L"await" && argc > 5) {
    return Await(service.get(), ControlCode(argv[3]), argv[4],
                 static_cast<DWORD>(std::wcstoul(argv[5], nullptr, 10)));
  }
  if (command == L"storm" && argc > 4) {
    return Storm(service.get(), std::wcstol(argv[3], nullptr, 10),
                 static_cast<unsigned>(std::wcstoul(argv[4], nullptr, 10)));
  }
  std::fwprintf(stderr, L"unknown command\n");
  return 2;
}
