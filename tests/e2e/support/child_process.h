// Runs a program to its end, with a deadline: the installer runs and the start by hand.
// Callable from any thread.
#pragma once

#include <windows.h>

#include <string>

#include "e2e/support/deadline.h"

namespace calvera::e2e {

struct ChildResult {
  bool started = false;
  bool ended = false;           // false: the deadline passed first and the child was terminated
  DWORD error = ERROR_SUCCESS;  // why it did not start
  DWORD processId = 0;
  DWORD exitCode = 0;
  std::string Describe() const;  // "exit code 1 (process 0x0108)"
};

// CreateProcessW of "<program>" <arguments>, inheriting this process's environment (its
// WINEDEBUG channels among it). Waits for it to end; terminates it at the deadline.
ChildResult RunToEnd(const std::wstring& program, const std::wstring& arguments, Deadline deadline);

}  // namespace calvera::e2e
