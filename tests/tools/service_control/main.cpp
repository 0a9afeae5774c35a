// calvera_sc <command> <service> [argument]
//   start | stop | pause | continue | interrogate | control <code>: sends the request and
//       prints the state the manager reports back, e.g. "RUNNING", or "error <code>";
//   query: prints the current state;
//   wait <state> [timeout ms]: waits until the service reports that state (default 10 s);
//   config: prints the entry's type, start type, error control, path and display name, one
//       "key=value" per line, and its description;
//   storm <count> <seed>: sends that many random pause, continue, interrogate and custom
//       controls as fast as the manager takes them, printing every state seen.
// Exit code 0 on success, 1 on failure.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

int Storm(SC_HANDLE service, int count, unsigned seed) {
  std::srand(seed);
  const DWORD codes[] = {
      SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_INTERROGATE, 128, 200, 255};
  int refused = 0;
  for (int i = 0; i < count; ++i) {
    SERVICE_STATUS status{};
    if (ControlService(service, codes[std::rand() % 6], &status)) {
      Print(L"%ls\n", StateName(status.dwCurrentState));
    } else {
      ++refused;  // e.g. a pause while one is pending: the manager says it cannot accept it
      if (Query(service, &status))
        Print(L"%ls\n", StateName(status.dwCurrentState));
    }
  }
  Print(L"refused %d\n", refused);
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
  if (command == L"stop")
    return Control(service.get(), SERVICE_CONTROL_STOP);
  if (command == L"pause")
    return Control(service.get(), SERVICE_CONTROL_PAUSE);
  if (command == L"continue")
    return Control(service.get(), SERVICE_CONTROL_CONTINUE);
  if (command == L"interrogate")
    return Control(service.get(), SERVICE_CONTROL_INTERROGATE);
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
  if (command == L"storm" && argc > 4) {
    return Storm(service.get(), std::wcstol(argv[3], nullptr, 10),
                 static_cast<unsigned>(std::wcstoul(argv[4], nullptr, 10)));
  }
  std::fwprintf(stderr, L"unknown command\n");
  return 2;
}
