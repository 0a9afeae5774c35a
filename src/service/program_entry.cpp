#include "service/program_entry.h"

#include <cstdio>

#include "maintenance/maintenance_tick.h"
#include "platform/failure_policy.h"
#include "platform/module_path.h"
#include "platform/text.h"
#include "service/calvera_service.h"
#include "service/event_ids.h"
#include "service/failure_texts.h"
#include "service/service_application.h"
#include "service/startup_correction.h"

namespace calvera::service {
namespace {

// Sets the module reference that the control handler uses for as long as the module lives.
class ModuleRegistration {
 public:
  explicit ModuleRegistration(TCalvera& module) { SetCalveraModule(&module); }
  ModuleRegistration(const ModuleRegistration&) = delete;
  ModuleRegistration& operator=(const ModuleRegistration&) = delete;
  ~ModuleRegistration() { SetCalveraModule(nullptr); }
};

// Installation and removal have a user to read the box, unless an installer runs them quietly.
// A service run has none: its desktop is one no one sees, so a box would hold the process until
// the manager gave up on it.
void ReportRunFailure(platform::Platform& platform,
                      TServiceApplication& application,
                      const std::u16string& typeName,
                      const std::u16string& message) noexcept {
  if (application.Installing() && !application.Quiet())
    ShowApplicationError(platform.process, typeName, message);
  else
    application.LogUnhandledException(message);
}

int RunProgram(platform::Platform& platform, std::vector<std::u16string> arguments) {
  ApplyStartupCorrection(platform.registry);

  // The tick outlives the application, whose destructor destroys the module and its timer.
  maintenance::MaintenanceTick tick(platform);
  TServiceApplication application(platform, CommandLine(std::move(arguments)));
  if (!application.Installing())
    application.Initialize();
  tick.SetOwnerWindow(application.Window());

  TCalvera* module = nullptr;
  try {
    module = &application.CreateForm<TCalvera>(platform, tick);
  } catch (...) {
    // Nothing is shown: this may be a service run, which has no desktop to show it on.
    application.LogUnhandledException(CurrentFailureText(), kModuleNotCreatedEvent);
    return 1;
  }
  const ModuleRegistration registration(*module);

  try {
    return application.Run();
  } catch (const WindowsCallFailure& failure) {
    ReportRunFailure(platform, application, u"WindowsCallFailure", failure.Text());
  } catch (...) {
    ReportRunFailure(platform, application, u"Exception", CurrentFailureText());
  }
  return 1;
}

}  // namespace

int ProgramEntry(platform::Platform& platform, std::vector<std::u16string> arguments) noexcept {
  return TryOrDefault([&] { return RunProgram(platform, std::move(arguments)); }, 1);
}

void ShowApplicationError(platform::Process& process,
                          const std::u16string& typeName,
                          const std::u16string& message) noexcept {
  TryOrIgnore([&] {
    char address[2 * sizeof(void*) + 1];
    std::snprintf(address, sizeof address, "%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&ProgramEntry)));
    std::u16string text = u"Exception " + typeName + u" in module " +
                          platform::ExecutableFileName(process) + u" at " + FromAscii(address) +
                          u".\r\n" + message;
    // The message's own full stop, when it has none; an empty message has nothing to end.
    if (!message.empty() && message.back() != u'.')
      text.push_back(u'.');
    text += u"\r\n";
    static_cast<void>(
        process.ShowMessageBox(text.c_str(), u"Application Error",
                               platform::kMbOk | platform::kMbIconError | platform::kMbTaskModal));
  });
}

}  // namespace calvera::service
