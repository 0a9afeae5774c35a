// The process's one service application: it owns the service modules and either installs or
// removes their entries, or connects the process to the Service Control Manager and keeps the
// main thread in a message loop until the manager releases the process.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/scoped_handle.h"
#include "service/command_line.h"
#include "service/event_ids.h"
#include "service/event_logger.h"
#include "service/service.h"

namespace calvera::service {

// Everything here runs on the main thread, except `DispatchServiceEntry`, which the manager
// calls on a thread of its own.
class TServiceApplication : private platform::WindowProcedure {
 public:
  // Creates the hidden application window on the calling (main) thread; when that fails,
  // `CreateForm` does.
  TServiceApplication(platform::Platform& platform, CommandLine commandLine);
  TServiceApplication(const TServiceApplication&) = delete;
  TServiceApplication& operator=(const TServiceApplication&) = delete;
  // Destroys the modules in reverse order of creation, then the window, then undoes
  // `Initialize`.
  ~TServiceApplication() override;

  bool Installing() const { return commandLine_.Installing(); }
  // An installation or removal with the QUIET switch: it shows no box at all.
  bool Quiet() const { return Installing() && commandLine_.HasSwitch(u"QUIET"); }

  // Once per process: initializes COM on the calling thread (single-threaded apartment).
  void Initialize();

  // Constructs a service module owned by the application. Throws, creating nothing, when the
  // application window could not be created: the quit request that ends a run goes to it.
  template <typename Module, typename... Arguments>
  Module& CreateForm(Arguments&&... arguments) {
    if (!window_)
      throw std::runtime_error("The application window cannot be created");
    auto module = std::make_unique<Module>(std::forward<Arguments>(arguments)...);
    Module& reference = *module;
    modules_.push_back(std::move(module));
    return reference;
  }

  // Installs or removes with the switches, or runs the services. Returns the process's exit
  // code: 1 after an installation or removal in which a module failed, else 0. Throws
  // WindowsCallFailure when installation cannot open the Service Control Manager.
  [[nodiscard]] int Run();

  // The entry that the manager's service table points at: hands the start to the module
  // whose name is argv[0]. On the thread the manager created for the service.
  void DispatchServiceEntry(std::uint32_t argc, char16_t** argv) noexcept;

  // Writes a failure of the process to the event log under the executable's file name, as an
  // error entry of the kind `eventId` (service/event_ids.h): by default a failure of the main
  // thread.
  void LogUnhandledException(const std::u16string& message,
                             std::uint32_t eventId = kMainThreadFailedEvent) noexcept;

  // The hidden application window: the owner of the companion launches.
  platform::WindowHandle Window() const { return window_.get(); }

 private:
  // EndSessionHook: a log-off's WM_ENDSESSION is swallowed, so it does not end the service.
  bool HandleMessage(std::uint32_t message,
                     std::uintptr_t wParam,
                     std::intptr_t lParam) noexcept override;
  int RunServices();

  platform::Platform& platform_;
  CommandLine commandLine_;
  TEventLogger eventLogger_;
  bool initialized_ = false;
  bool comInitialized_ = false;
  platform::ScopedWindow window_;
  std::vector<std::unique_ptr<TService>> modules_;
  // Service names of the table handed to the dispatcher; they outlive the dispatcher thread.
  std::vector<platform::ServiceTableEntry> serviceTable_;
};

}  // namespace calvera::service
