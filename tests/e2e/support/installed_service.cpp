#include "e2e/support/installed_service.h"

#include "e2e/support/processes.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr Milliseconds kInstallerTimeout(30000);
constexpr Milliseconds kRemovalTimeout(10000);
constexpr Milliseconds kStartTimeout(20000);
constexpr Milliseconds kStopTimeout(10000);
constexpr Milliseconds kCompanionsTimeout(20000);

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  UniqueFindHandle find(FindFirstFileW((folder + L"*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L".." && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(find.get(), &found));
  }
  find.reset();
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

ScopedInstalledService::ScopedInstalledService(std::wstring folderName, std::wstring companion)
    : folder_(ProgramFilesFolder() + folderName + L"\\") {
  RemoveFolder(folder_);
  if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    ADD_FAILURE() << "cannot create " << Utf8(folder_) << ": " << ErrorText(GetLastError());
  if (!CopyFileW(CalveraExecutable().c_str(), Executable().c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy " << Utf8(CalveraExecutable()) << ": "
                  << ErrorText(GetLastError());
  }
  if (!CopyFileW(companion.c_str(), (folder_ + L"CalveraDefrag.exe").c_str(), FALSE))
    ADD_FAILURE() << "cannot copy " << Utf8(companion) << ": " << ErrorText(GetLastError());
}

ScopedInstalledService::~ScopedInstalledService() {
  DWORD error = ERROR_SUCCESS;
  if (ServiceController::Exists(kServiceName, &error)) {
    EXPECT_TRUE(Stop());
    EXPECT_TRUE(Uninstall());
  }
  EXPECT_TRUE(WaitForCompanionsEnded(Deadline::After(kCompanionsTimeout)))
      << "companions still run " << kCompanionsTimeout.count() << " ms after the end";
  // The settings are cleared by settings_'s own destructor, after this body.
  RemoveFolder(folder_);
}

ChildResult ScopedInstalledService::Run(const std::wstring& arguments) const {
  return RunToEnd(Executable(), arguments, Deadline::After(kInstallerTimeout));
}

std::string ScopedInstalledService::EntryState() const {
  DWORD error = ERROR_SUCCESS;
  if (!ServiceController::Exists(kServiceName, &error)) {
    return error == ERROR_SUCCESS ? "no entry" : "the manager cannot be asked: " + ErrorText(error);
  }
  ServiceController controller(kServiceName);
  if (controller.IsMarkedForDeletion())
    return "an entry marked for deletion (a handle to it is still open)";
  ServiceConfig config;
  DWORD configError = ERROR_SUCCESS;
  if (!controller.QueryConfig(&config, &configError))
    return "an entry whose configuration cannot be read: " + ErrorText(configError);
  return "an entry, " + StateName(controller.State()) + ", display name \"" +
         Utf8(config.displayName) + "\", program " + Utf8(config.binaryPath);
}

testing::AssertionResult ScopedInstalledService::WaitUntilRemoved(Milliseconds timeout) const {
  DWORD error = ERROR_SUCCESS;
  if (WaitUntil([&] { return !ServiceController::Exists(kServiceName, &error) && error == 0; },
                Deadline::After(timeout))) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << "after " << timeout.count() << " ms there is still " << EntryState();
}

testing::AssertionResult ScopedInstalledService::Install(const std::wstring& arguments) {
  if (auto removed = WaitUntilRemoved(kRemovalTimeout); !removed)
    return removed << " (before " << Utf8(arguments) << ")";
  const ChildResult run = Run(arguments);
  DWORD error = ERROR_SUCCESS;
  const bool exists = ServiceController::Exists(kServiceName, &error);
  if (run.ended && run.exitCode == 0 && exists)
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "Calvera.exe " << Utf8(arguments) << ": " << run.Describe()
                                     << "; afterwards " << EntryState();
}

testing::AssertionResult ScopedInstalledService::Uninstall() {
  const ChildResult run = Run(L"/uninstall /silent");
  if (!run.ended || run.exitCode != 0) {
    return testing::AssertionFailure() << "Calvera.exe /uninstall /silent: " << run.Describe()
                                       << "; afterwards " << EntryState();
  }
  return WaitUntilRemoved(kRemovalTimeout);
}

testing::AssertionResult ScopedInstalledService::Start() {
  ServiceController controller = Controller();
  if (!controller.IsOpen()) {
    return testing::AssertionFailure()
           << "cannot open the entry: " << ErrorText(controller.OpenError());
  }
  const StateTrace trace = controller.StartAndWait(kStartTimeout);
  if (!trace.reached)
    return testing::AssertionFailure() << "start: " << trace.Describe();
  serviceProcesses_.push_back(controller.ProcessId());
  return testing::AssertionSuccess();
}

testing::AssertionResult ScopedInstalledService::Stop() {
  ServiceController controller = Controller();
  if (!controller.IsOpen()) {
    return testing::AssertionFailure()
           << "cannot open the entry: " << ErrorText(controller.OpenError());
  }
  const DWORD process = controller.ProcessId();
  if (controller.State() != SERVICE_STOPPED) {
    // A paused service takes the stop as well.
    const StateTrace trace = controller.Await(SERVICE_CONTROL_STOP, SERVICE_STOPPED, kStopTimeout);
    if (!trace.reached)
      return testing::AssertionFailure() << "stop: " << trace.Describe();
  }
  if (process != 0 && !WaitForProcessEnd(process, Deadline::After(kStopTimeout)))
    return testing::AssertionFailure() << "the service process still runs after the stop";
  return testing::AssertionSuccess();
}

bool ScopedInstalledService::WaitForCompanionsEnded(Deadline deadline) const {
  return WaitUntil([] { return ProcessesNamed(L"CalveraDefrag.exe").empty(); }, deadline,
                   Milliseconds(50));
}

}  // namespace calvera::e2e
