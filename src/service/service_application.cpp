#include "service/service_application.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/failure_policy.h"
#include "platform/module_path.h"
#include "platform/text.h"
#include "service/failure_texts.h"
#include "service/service_installer.h"

namespace calvera::service {
namespace {

// The application that the manager's service-main callback reaches; set while services run.
std::atomic<TServiceApplication*> runningApplication{nullptr};

constexpr auto kQuitRetryInterval = std::chrono::milliseconds(10);

void CALVERA_WINAPI ServiceMainCallback(std::uint32_t argc, char16_t** argv) {
  if (TServiceApplication* application = runningApplication.load()) {
    application->DispatchServiceEntry(argc, argv);
  }
}

}  // namespace

TServiceApplication::TServiceApplication(platform::Platform& platform, CommandLine commandLine)
    : platform_(platform),
      commandLine_(std::move(commandLine)),
      // The application's entries go under the executable's file name.
      eventLogger_(platform.eventLog, platform::ExecutableFileName(platform.process)),
      window_(platform.windowing, platform.windowing.CreateMessageWindow(this)) {}

TServiceApplication::~TServiceApplication() {
  // The modules first: their timers' windows belong to this thread as well.
  while (!modules_.empty())
    modules_.pop_back();
  window_.reset();
  if (comInitialized_)
    platform_.process.CoUninitialize();
}

void TServiceApplication::Initialize() {
  if (initialized_)
    return;
  initialized_ = true;
  comInitialized_ = platform_.process.CoInitialize();
}

int TServiceApplication::Run() {
  if (commandLine_.HasSwitch(u"INSTALL") || commandLine_.HasSwitch(u"UNINSTALL")) {
    std::vector<TService*> modules;
    for (const auto& module : modules_)
      modules.push_back(module.get());
    const bool install = commandLine_.HasSwitch(u"INSTALL");  // wins over UNINSTALL
    const ResultBoxes boxes = Quiet()                             ? ResultBoxes::kNone
                              : commandLine_.HasSwitch(u"SILENT") ? ResultBoxes::kFailuresOnly
                                                                  : ResultBoxes::kAll;
    return InstallOrRemoveServices(platform_, modules, install, boxes, eventLogger_) ? 0 : 1;
  }
  return RunServices();
}

int TServiceApplication::RunServices() {
  serviceTable_.clear();
  for (const auto& module : modules_) {
    serviceTable_.push_back({module->Name().c_str(), &ServiceMainCallback});
  }
  serviceTable_.push_back({});
  runningApplication.store(this);

  // The dispatcher thread waits inside the manager's dispatcher until every service has
  // stopped, or fails at once when the manager did not start this process.
  platform::ErrorCode dispatcherResult = 0;
  std::thread dispatcher([this, &dispatcherResult] {
    dispatcherResult = platform_.services.RunDispatcher(serviceTable_.data());
    // Windows refuses a posted message only while the queue is full, and the main thread keeps
    // draining it: without the quit request the process would never end.
    while (!platform_.windowing.PostToWindow(window_.get(), platform::kWmQuit, 0, 0))
      std::this_thread::sleep_for(kQuitRetryInterval);
  });

  // Timer ticks are handled here, before the start as well. A window procedure never lets a
  // failure out, and the maintenance tick ends a failing tick without a word itself.
  platform::WindowMessage message;
  while (platform_.windowing.WaitForMessage(&message))
    platform_.windowing.DispatchToWindow(message);

  dispatcher.join();
  runningApplication.store(nullptr);
  if (dispatcherResult != 0) {
    LogUnhandledException(SystemErrorText(platform_.eventLog, dispatcherResult),
                          kDispatcherFailedEvent);
  }
  return 0;
}

void TServiceApplication::DispatchServiceEntry(std::uint32_t argc, char16_t** argv) noexcept {
  if (argc == 0 || argv == nullptr || argv[0] == nullptr)
    return;
  for (const auto& module : modules_) {
    if (EqualIgnoringAsciiCase(module->Name(), argv[0])) {
      module->ServiceEntry(argc, argv);
      return;
    }
  }
}

void TServiceApplication::LogUnhandledException(const std::u16string& message,
                                                std::uint32_t eventId) noexcept {
  TryOrIgnore([&] { eventLogger_.LogMessage(message, platform::kEventlogErrorType, 0, eventId); });
}

bool TServiceApplication::HandleMessage(std::uint32_t message,
                                        std::uintptr_t,
                                        std::intptr_t) noexcept {
  return message == platform::kWmEndSession;
}

}  // namespace calvera::service
