// Hidden windows, their timers, and the thread's message loop.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace calvera::platform {

inline constexpr std::uint32_t kWmEndSession = 0x0016;
inline constexpr std::uint32_t kWmQuit = 0x0012;
inline constexpr std::uint32_t kWmTimer = 0x0113;
inline constexpr std::uint32_t kWmUser = 0x0400;

// MSG, as far as the system looks at it.
struct WindowMessage {
  WindowHandle window{};
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// Receives the messages of one window, on the thread that owns the window.
class WindowProcedure {
 public:
  virtual ~WindowProcedure() = default;
  // True when the message was handled; false hands it to the default window procedure.
  // Must not throw: Windows calls it.
  virtual bool HandleMessage(std::uint32_t message,
                             std::uintptr_t wParam,
                             std::intptr_t lParam) noexcept = 0;
};

// A failure gives false or none and no error code; which thread may call is said for each.
class Windowing {
 public:
  virtual ~Windowing() = default;

  // A message-only window (HWND_MESSAGE) owned by the calling thread: it receives posted
  // messages and timers, no broadcasts, and needs no display. 0 on failure.
  virtual WindowHandle CreateMessageWindow(WindowProcedure* procedure) = 0;
  // DestroyWindow; on the owning thread.
  virtual void DestroyWindow(WindowHandle window) = 0;
  // SetTimer / KillTimer; the window must be owned by the calling thread.
  virtual bool SetTimer(WindowHandle window,
                        std::uintptr_t timerId,
                        std::uint32_t milliseconds) = 0;
  virtual void KillTimer(WindowHandle window, std::uintptr_t timerId) = 0;
  // PostMessageW; any thread.
  virtual bool PostToWindow(WindowHandle window,
                            std::uint32_t message,
                            std::uintptr_t wParam,
                            std::intptr_t lParam) = 0;
  // GetMessageW for every window of the calling thread; waits. False on WM_QUIT or failure.
  virtual bool WaitForMessage(WindowMessage* message) = 0;
  // TranslateMessage and DispatchMessageW.
  virtual void DispatchToWindow(const WindowMessage& message) = 0;
};

}  // namespace calvera::platform
