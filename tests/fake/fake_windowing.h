// Fake hidden windows, timers and message loop. (Fleshed out with the service module.)
#pragma once

#include "platform/windowing.h"

namespace calvera::fake {

class FakeWindowing : public platform::Windowing {
 public:
  platform::WindowHandle CreateMessageWindow(platform::WindowProcedure*) override { return 0; }
  void DestroyWindow(platform::WindowHandle) override {}
  bool SetTimer(platform::WindowHandle, std::uintptr_t, std::uint32_t) override { return false; }
  void KillTimer(platform::WindowHandle, std::uintptr_t) override {}
  bool PostMessage(platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override {
    return false;
  }
  bool GetMessage(platform::WindowMessage*) override { return false; }
  void DispatchMessage(const platform::WindowMessage&) override {}
};

}  // namespace calvera::fake
