// Message-only windows, their timers and the thread's message loop through user32.
#pragma once

#include "platform/windowing.h"

namespace calvera::platform {

class Win32Windowing final : public Windowing {
 public:
  // The window belongs to the calling thread; `procedure` must outlive it.
  WindowHandle CreateMessageWindow(WindowProcedure* procedure) override;
  // On the owning thread. Keeps the thread's last error as it was.
  void DestroyWindow(WindowHandle window) override;
  // On the owning thread.
  bool SetTimer(WindowHandle window, std::uintptr_t timerId, std::uint32_t milliseconds) override;
  void KillTimer(WindowHandle window, std::uintptr_t timerId) override;
  // Any thread.
  bool PostToWindow(WindowHandle window,
                    std::uint32_t message,
                    std::uintptr_t wParam,
                    std::intptr_t lParam) override;
  // The calling thread's queue: all of its windows and its thread messages.
  bool WaitForMessage(WindowMessage* message) override;
  void DispatchToWindow(const WindowMessage& message) override;
};

}  // namespace calvera::platform
