// The real process with a launcher that starts nothing, so that a tick that decides on a run
// is measured without the shell's cost and without companions. One thread.
#pragma once

#include "fake/forwarding.h"

namespace calvera::bench {

class NoLaunchProcess final : public fake::ForwardingProcess {
 public:
  using ForwardingProcess::ForwardingProcess;

  // Starts nothing; answers as a started program would (above 32).
  std::intptr_t ShellExecuteFile(platform::WindowHandle,
                                 const char16_t*,
                                 const char16_t*,
                                 const char16_t*,
                                 const char16_t*,
                                 std::int32_t) override {
    return 42;
  }
};

}  // namespace calvera::bench
