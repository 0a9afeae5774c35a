// The footprint floor: a windowless program that pays for what any service of this shape pays
// for and nothing more. It links and initializes the same system libraries as Calvera.exe
// (user32, advapi32, shell32, ole32 with COM initialized on the main thread), keeps a hidden
// message-only window with a one-second timer and runs a message loop whose timer handler
// does nothing. Runs until it is killed or receives WM_QUIT.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

namespace {

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER)
    return 0;  // the floor's tick: nothing
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // One call into advapi32 and shell32 each, so both are linked and loaded as in the service.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS)
    RegCloseKey(key);
  int argc = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &argc));

  if (FAILED(CoInitialize(nullptr)))
    return 1;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = FloorWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"CalveraFootprintFloor";
  if (!RegisterClassW(&window_class))
    return 1;
  // Message-only: there is no desktop to show a window on under a headless Wine.
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, instance, nullptr);
  if (!window || !SetTimer(window, 1, 1000, nullptr))
    return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  KillTimer(window, 1);
  DestroyWindow(window);
  CoUninitialize();
  return 0;
}
