// calvera_reaction <command> ...: times the service's reactions for the service figures.
//   controls <service> <count>: <count> rounds of pause then continue; prints "pause <us>" and
//       "continue <us>": from the ControlService call to the state reported by the manager.
//   restarts <service> <count>: <count> rounds of stop then start; prints "stop <us>" and
//       "start <us>" (from StartServiceW to RUNNING).
//   lowmem <companion.log> <count>: <count> times: writes MemoryMaintain 100 to the settings
//       and prints "lowmem <ms>" from that write to the companion's next "start" line, then
//       writes MemoryMaintain 0 again and lets the service settle.
//   direct <companion.exe> <companion.log> <count>: the floor of lowmem: prints "direct <ms>"
//       from a ShellExecuteW of the companion to its "start" line.
//   launch <program> <argument> <count>: <count> times: starts the program with its one
//       argument (CreateProcessW, no window) and prints "launch <us> <exit code>" from the start
//       to its end, as WaitForSingleObject sees it. For the companion's figures
//       (bench/companion_figures.sh).
//   handles <interval ms> <duration ms> <image name>...: every interval prints
//       "<tick ms> <image name> <pid> <handle count>" for each running process of that name.
//       The count is the process's entries in the system handle table: Wine's
//       GetProcessHandleCount always answers 0.
// Times of the companion's lines are GetTickCount64 readings, the clock the stand-in writes.
// Exit code 0 on success, 1 on failure.
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Tolvane\\Calvera";

int Fail(const char* what) {
  std::printf("error %lu %s\n", GetLastError(), what);
  std::fflush(stdout);
  return 1;
}

long long NowMicroseconds() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<long long>(now.QuadPart / frequency * 1000000 +
                                now.QuadPart % frequency * 1000000 / frequency);
}

class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  ~ScHandle() {
    if (handle_)
      CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_ && handle_ != INVALID_HANDLE_VALUE)
      CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Polls the manager every millisecond until the service reports `wanted`; the time is taken
// from `since`. Returns -1 on timeout or failure.
long long WaitForState(SC_HANDLE service, DWORD wanted, long long since, DWORD timeout_ms) {
  SERVICE_STATUS status{};
  while (NowMicroseconds() - since < static_cast<long long>(timeout_ms) * 1000) {
    if (!QueryServiceStatus(service, &status))
      return -1;
    if (status.dwCurrentState == wanted)
      return NowMicroseconds() - since;
    Sleep(1);
  }
  return -1;
}

bool TimeControl(SC_HANDLE service, DWORD code, DWORD wanted, const char* name) {
  SERVICE_STATUS status{};
  const long long since = NowMicroseconds();
  if (!ControlService(service, code, &status))
    return Fail("ControlService") == 0;
  const long long elapsed = WaitForState(service, wanted, since, 10000);
  if (elapsed < 0)
    return Fail(name) == 0;
  std::printf("%s %lld\n", name, elapsed);
  std::fflush(stdout);
  return true;
}

bool TimeStart(SC_HANDLE service) {
  // The previous process may still be leaving after STOPPED: the manager refuses until then.
  long long since = NowMicroseconds();
  for (int attempt = 0; !StartServiceW(service, 0, nullptr); ++attempt) {
    if (GetLastError() != ERROR_SERVICE_ALREADY_RUNNING || attempt > 500)
      return Fail("StartServiceW") == 0;
    Sleep(10);
    since = NowMicroseconds();
  }
  const long long elapsed = WaitForState(service, SERVICE_RUNNING, since, 30000);
  if (elapsed < 0)
    return Fail("start") == 0;
  std::printf("start %lld\n", elapsed);
  std::fflush(stdout);
  return true;
}

int Controls(SC_HANDLE service, int count, bool restarts) {
  for (int i = 0; i < count; ++i) {
    // A pause between rounds, so each request meets the service at a fresh point of its poll.
    Sleep(200 + std::rand() % 600);
    if (restarts) {
      if (!TimeControl(service, SERVICE_CONTROL_STOP, SERVICE_STOPPED, "stop") ||
          !TimeStart(service))
        return 1;
    } else {
      if (!TimeControl(service, SERVICE_CONTROL_PAUSE, SERVICE_PAUSED, "pause"))
        return 1;
      Sleep(200 + std::rand() % 600);
      if (!TimeControl(service, SERVICE_CONTROL_CONTINUE, SERVICE_RUNNING, "continue"))
        return 1;
    }
  }
  return 0;
}

bool WriteMemoryMaintain(DWORD percent) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const LSTATUS result = RegSetValueExW(key, L"MemoryMaintain", 0, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(&percent), sizeof percent);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

std::string ReadFileText(const wchar_t* path) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  Handle file(CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE)
    return {};
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    text.append(buffer, read);
  return text;
}

// The tick of the first complete "start <amount> <tick>" line at or after `offset`, or -1.
long long StartTickAfter(const std::string& text, size_t offset) {
  for (size_t at = offset; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos)
      return -1;
    const std::string line = text.substr(at, end - at);
    if (line.rfind("start ", 0) == 0)
      return std::atoll(line.c_str() + line.find_last_of(' ') + 1);
    at = end + 1;
  }
  return -1;
}

long long WaitForStart(const wchar_t* log, size_t offset, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  do {
    const long long tick = StartTickAfter(ReadFileText(log), offset);
    if (tick >= 0)
      return tick;
    Sleep(2);
  } while (GetTickCount64() < end);
  return -1;
}

int LowMemory(const wchar_t* log, int count) {
  if (!WriteMemoryMaintain(0))
    return Fail("RegSetValueExW");
  for (int i = 0; i < count; ++i) {
    // Long enough for a launch of the previous round's late tick to have written its line,
    // and a random phase against the service's one-second timer.
    Sleep(2500 + std::rand() % 1000);
    const size_t offset = ReadFileText(log).size();
    if (!WriteMemoryMaintain(100))
      return Fail("RegSetValueExW");
    const long long since = static_cast<long long>(GetTickCount64());
    const long long tick = WaitForStart(log, offset, 10000);
    if (!WriteMemoryMaintain(0))
      return Fail("RegSetValueExW");
    if (tick < 0)
      return Fail("no companion start");
    std::printf("lowmem %lld\n", tick - since);
    std::fflush(stdout);
  }
  return 0;
}

int Direct(const wchar_t* companion, const wchar_t* log, int count) {
  for (int i = 0; i < count; ++i) {
    Sleep(500 + std::rand() % 500);
    const size_t offset = ReadFileText(log).size();
    const long long since = static_cast<long long>(GetTickCount64());
    ShellExecuteW(nullptr, L"open", companion, L"1", nullptr, SW_SHOW);
    const long long tick = WaitForStart(log, offset, 10000);
    if (tick < 0)
      return Fail("no companion start");
    std::printf("direct %lld\n", tick - since);
    std::fflush(stdout);
  }
  return 0;
}

// The system handle table as NtQuerySystemInformation(SystemHandleInformation) returns it.
struct HandleEntry {
  ULONG owner_pid;
  BYTE object_type;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};

class SystemHandles {
 public:
  bool Refresh() {
    using Query = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
      return false;
    for (;;) {
      ULONG needed = 0;
      const NTSTATUS status =
          query(SystemHandleInformation, buffer_.data(),
                static_cast<ULONG>(buffer_.size() * sizeof(ULONG_PTR)), &needed);
      if (status == 0)
        return true;
      if (status != static_cast<NTSTATUS>(0xC0000004L))  // STATUS_INFO_LENGTH_MISMATCH
        return false;
      buffer_.resize(std::max<size_t>(buffer_.size() * 2, needed / sizeof(ULONG_PTR) + 512));
    }
  }
  DWORD CountOf(DWORD pid) const {
    const auto* table = reinterpret_cast<const HandleTable*>(buffer_.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i)
      count += table->entries[i].owner_pid == pid;
    return count;
  }

 private:
  std::vector<ULONG_PTR> buffer_ = std::vector<ULONG_PTR>(8192);  // aligned for the entries
};

int Handles(DWORD interval_ms, DWORD duration_ms, int count, wchar_t** names) {
  const ULONGLONG end = GetTickCount64() + duration_ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    SystemHandles table;
    if (!table.Refresh())
      return Fail("NtQuerySystemInformation");
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE)
      return Fail("CreateToolhelp32Snapshot");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      for (int i = 0; i < count; ++i) {
        if (_wcsicmp(entry.szExeFile, names[i]) != 0)
          continue;
        std::printf("%llu %ls %lu %lu\n", now, names[i], entry.th32ProcessID,
                    table.CountOf(entry.th32ProcessID));
        std::fflush(stdout);
      }
    }
    if (now + interval_ms > end)
      return 0;
    Sleep(interval_ms);
  }
}

int Launch(const wchar_t* program, const wchar_t* argument, int count) {
  for (int round = 0; round < count; ++round) {
    std::wstring commandLine = std::wstring(L"\"") + program + L"\" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const long long start = NowMicroseconds();
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
      return Fail("CreateProcessW");
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    const long long elapsed = NowMicroseconds() - start;
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("launch %lld %lu\n", elapsed, exitCode);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::srand(GetTickCount());
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if ((command == L"controls" || command == L"restarts") && argc > 3) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get())
      return Fail("OpenSCManagerW");
    ScHandle service(OpenServiceW(manager.get(), argv[2], SERVICE_ALL_ACCESS));
    if (!service.get())
      return Fail("OpenServiceW");
    return Controls(service.get(), std::wcstol(argv[3], nullptr, 10), command == L"restarts");
  }
  if (command == L"lowmem" && argc > 3)
    return LowMemory(argv[2], std::wcstol(argv[3], nullptr, 10));
  if (command == L"direct" && argc > 4)
    return Direct(argv[2], argv[3], std::wcstol(argv[4], nullptr, 10));
  if (command == L"launch" && argc > 4)
    return Launch(argv[2], argv[3], std::wcstol(argv[4], nullptr, 10));
  if (command == L"handles" && argc > 4) {
    return Handles(std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10), argc - 4,
                   argv + 4);
  }
  std::fprintf(stderr, "usage: see the head of bench/reaction_timer/main.cpp\n");
  return 2;
}
