// Stand-in for CalveraDefrag.exe in the end-to-end tests. Appends one line per start to
// companion.log beside itself: "start <arguments> <tick ms>", then, after a pause that lets a
// test see that the service did not wait for it, "done <arguments> <tick ms>". A run of the
// service starts many at once, and every line must arrive whole and none may be lost.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::wstring LogPath() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"companion.log";
}

// Writes the line at the end of the file while holding an exclusive lock that every instance
// takes, so that two instances never write at the same end. FILE_APPEND_DATA alone does not
// do that under Wine: it takes the file's size and then writes at that offset (fstat, then
// pwrite, in NtWriteFile), so two instances appending at once can write at the same offset
// and one line overwrites the other.
void Append(const std::wstring& path, const std::string& line) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  // A byte far beyond any end the log reaches: the lock guards the appending, not the data.
  OVERLAPPED lockedByte{};
  lockedByte.OffsetHigh = 0x40000000;
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockedByte)) {
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    UnlockFileEx(file, 0, 1, 0, &lockedByte);
  }
  CloseHandle(file);
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text)
    out.push_back(*text < 128 ? static_cast<char>(*text) : '?');
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::string arguments;
  for (int i = 1; i < argc; ++i)
    arguments += (i > 1 ? " " : "") + Narrow(argv[i]);
  LocalFree(argv);
  const std::wstring log = LogPath();
  Append(log, "start " + arguments + " " + std::to_string(GetTickCount64()) + "\n");
  Sleep(1500);
  Append(log, "done " + arguments + " " + std::to_string(GetTickCount64()) + "\n");
  return 0;
}
