#include "e2e/support/child_process.h"

#include <cstdio>

#include "e2e/support/text.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {

std::string ChildResult::Describe() const {
  if (!started)
    return "not started: " + ErrorText(error);
  char pid[32];
  std::snprintf(pid, sizeof pid, "process %04lx", processId);
  if (!ended)
    return std::string("still running at the deadline (") + pid + ")";
  return "exit code " + std::to_string(exitCode) + " (" + pid + ")";
}

ChildResult RunToEnd(const std::wstring& program,
                     const std::wstring& arguments,
                     Deadline deadline) {
  ChildResult result;
  std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    result.error = GetLastError();
    return result;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  result.started = true;
  result.processId = info.dwProcessId;
  result.ended =
      WaitForSingleObject(process.get(), static_cast<DWORD>(deadline.Remaining().count())) ==
      WAIT_OBJECT_0;
  if (!result.ended) {
    TerminateProcess(process.get(), 255);
    WaitForSingleObject(process.get(), 5000);
    return result;
  }
  GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

}  // namespace calvera::e2e
