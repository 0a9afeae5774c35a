#include "platform/win32/win32_windowing.h"

#include "platform/win32/win32_api.h"

namespace calvera::platform {
namespace {

constexpr wchar_t kClassName[] = L"CalveraMessageWindow";

HWND WindowOf(WindowHandle window) {
  return ToNative<HWND>(window);
}

WindowProcedure* ProcedureOf(HWND window) {
  return reinterpret_cast<WindowProcedure*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The procedure travels in CreateWindowExW's lpParam and is kept in GWLP_USERDATA from
// WM_NCCREATE to WM_NCDESTROY; messages before and after reach the default procedure.
LRESULT CALLBACK MessageWindowProcedure(HWND window,
                                        UINT message,
                                        WPARAM wParam,
                                        LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  WindowProcedure* procedure = ProcedureOf(window);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  if (procedure != nullptr && procedure->HandleMessage(message, wParam, lParam)) {
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// One class for every message window of the process, registered on first use by whichever
// thread comes first; 0 when registration failed.
ATOM MessageWindowClass() {
  static const ATOM registered = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &MessageWindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassExW(&windowClass);
  }();
  return registered;
}

}  // namespace

WindowHandle Win32Windowing::CreateMessageWindow(WindowProcedure* procedure) {
  const ATOM windowClass = MessageWindowClass();
  if (windowClass == 0) {
    return {};
  }
  return FromNative<WindowHandle>(::CreateWindowExW(0, MAKEINTATOM(windowClass), L"", 0, 0, 0, 0, 0,
                                                    HWND_MESSAGE, nullptr,
                                                    ::GetModuleHandleW(nullptr), procedure));
}

void Win32Windowing::DestroyWindow(WindowHandle window) {
  const LastErrorKeeper keeper;
  ::DestroyWindow(WindowOf(window));
}

bool Win32Windowing::SetTimer(WindowHandle window,
                              std::uintptr_t timerId,
                              std::uint32_t milliseconds) {
  return ::SetTimer(WindowOf(window), timerId, milliseconds, nullptr) != 0;
}

void Win32Windowing::KillTimer(WindowHandle window, std::uintptr_t timerId) {
  ::KillTimer(WindowOf(window), timerId);
}

bool Win32Windowing::PostToWindow(WindowHandle window,
                                  std::uint32_t message,
                                  std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  return ::PostMessageW(WindowOf(window), message, wParam, lParam) != FALSE;
}

bool Win32Windowing::WaitForMessage(WindowMessage* message) {
  MSG taken{};
  if (::GetMessageW(&taken, nullptr, 0, 0) <= 0) {
    return false;
  }
  *message = WindowMessage{FromNative<WindowHandle>(taken.hwnd), taken.message, taken.wParam,
                           taken.lParam};
  return true;
}

void Win32Windowing::DispatchToWindow(const WindowMessage& message) {
  // The time and position of the message are those of the thread's last GetMessageW, which is
  // the message being dispatched.
  const DWORD position = ::GetMessagePos();
  MSG dispatched{};
  dispatched.hwnd = WindowOf(message.window);
  dispatched.message = message.message;
  dispatched.wParam = message.wParam;
  dispatched.lParam = message.lParam;
  dispatched.time = static_cast<DWORD>(::GetMessageTime());
  dispatched.pt = POINT{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  ::TranslateMessage(&dispatched);
  ::DispatchMessageW(&dispatched);
}

}  // namespace calvera::platform
