// A Calvera service installed for a test, in the spirit of Chromium's scoped service test
// support: the executable and a companion beside it in a folder of their own under
// C:\Program Files (its name has a blank), the entry made by the executable's own /install,
// and at the end the service stopped and removed, its companions ended, its settings cleared
// and its folder deleted, so that the next test finds the machine as this one did. On the
// test's thread.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "e2e/support/child_process.h"
#include "e2e/support/companion_log.h"
#include "e2e/support/deadline.h"
#include "e2e/support/e2e_environment.h"
#include "e2e/support/service_controller.h"
#include "e2e/support/settings_key.h"

namespace calvera::e2e {

class ScopedInstalledService {
 public:
  // Copies Calvera.exe and `companion` (as CalveraDefrag.exe) into
  // C:\Program Files\<folderName>\ and clears the settings; installs nothing yet. A failure
  // to lay out the folder is a test failure.
  explicit ScopedInstalledService(std::wstring folderName,
                                  std::wstring companion = StandInCompanion());
  ScopedInstalledService(const ScopedInstalledService&) = delete;
  ScopedInstalledService& operator=(const ScopedInstalledService&) = delete;
  ~ScopedInstalledService();

  const std::wstring& Folder() const { return folder_; }  // ends in '\'
  std::wstring Executable() const { return folder_ + L"Calvera.exe"; }
  CompanionLog Companions() const { return CompanionLog(folder_ + L"companion.log"); }
  const SettingsKey& Settings() const { return settings_; }
  // A controller of the entry; destroy it before Uninstall().
  ServiceController Controller() const { return ServiceController(kServiceName); }

  // Runs Calvera.exe with `arguments` to its end (30 s at most).
  ChildResult Run(const std::wstring& arguments) const;
  // Waits until no entry named Calvera is left, not even one marked for deletion, which
  // the manager keeps while any handle to it is open; a new entry of that name would fail
  // with error 1072 until then.
  testing::AssertionResult WaitUntilRemoved(Milliseconds timeout) const;
  // Runs the executable with `arguments` (an /install) once no earlier entry is left, and
  // succeeds when it exits 0 and the entry exists.
  testing::AssertionResult Install(const std::wstring& arguments = L"/install /silent");
  // Runs "/uninstall /silent" and waits until the entry is gone.
  testing::AssertionResult Uninstall();
  // Starts the service and waits for RUNNING; remembers its process.
  testing::AssertionResult Start();
  // Stops the service when it runs and waits until its process has ended.
  testing::AssertionResult Stop();
  // The processes of the service runs started through Start().
  const std::vector<DWORD>& ServiceProcesses() const { return serviceProcesses_; }
  // Waits until no CalveraDefrag.exe process of this session runs.
  [[nodiscard]] bool WaitForCompanionsEnded(Deadline deadline) const;

 private:
  // What the manager says of the entry, for a failure message.
  std::string EntryState() const;

  std::wstring folder_;
  ScopedSettingsKey settings_;
  std::vector<DWORD> serviceProcesses_;
};

}  // namespace calvera::e2e
