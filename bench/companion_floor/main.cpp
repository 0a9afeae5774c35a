// The companion's floor: a windowless program that pays for what any program of the
// companion's shape pays for and nothing more. It is linked as the companion is (statically,
// the same system libraries: kernel32, advapi32 and the C runtime msvcrt), makes one call into
// advapi32 so that it is loaded as in the companion, waits the milliseconds of its one argument
// (the sampling interval plus the settles of the run it stands for) and ends.
//   calvera_companion_floor <milliseconds>
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS)
    RegCloseKey(key);
  Sleep(static_cast<DWORD>(std::wcstoul(commandLine, nullptr, 10)));
  return 0;
}
