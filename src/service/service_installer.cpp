#include "service/service_installer.h"

#include <optional>

#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "service/event_ids.h"
#include "service/event_sources.h"
#include "service/failure_texts.h"

namespace calvera::service {
namespace {

std::u16string ModuleDisplayName(const TService& service) {
  return service.DisplayName().empty() ? service.Name() : service.DisplayName();
}

std::uint32_t StartTypeCode(const TService& service) {
  switch (service.StartType()) {
    case TStartType::stBoot:
    case TStartType::stSystem:
      // Only drivers start at boot or with the system.
      if (service.ServiceType() != TServiceType::stDevice)
        return platform::kServiceAutoStart;
      return service.StartType() == TStartType::stBoot ? platform::kServiceBootStart
                                                       : platform::kServiceSystemStart;
    case TStartType::stAuto:
      return platform::kServiceAutoStart;
    case TStartType::stManual:
      return platform::kServiceDemandStart;
    case TStartType::stDisabled:
      return platform::kServiceDisabled;
  }
  return platform::kServiceAutoStart;
}

std::uint32_t ErrorControlCode(TErrorSeverity severity) {
  switch (severity) {
    case TErrorSeverity::esIgnore:
      return platform::kServiceErrorIgnore;
    case TErrorSeverity::esNormal:
      break;
    case TErrorSeverity::esSevere:
      return platform::kServiceErrorSevere;
    case TErrorSeverity::esCritical:
      return platform::kServiceErrorCritical;
  }
  return platform::kServiceErrorNormal;
}

// Each name followed by a NUL, a group's name preceded by '+', one more NUL at the end; the
// string's own terminator is that last NUL.
std::u16string DependencyList(const std::vector<TDependency>& dependencies) {
  std::u16string list;
  for (const auto& dependency : dependencies) {
    if (dependency.isGroup)
      list.push_back(u'+');
    list.append(dependency.name).push_back(u'\0');
  }
  return list;
}

std::u16string FailureBoxText(bool install,
                              const std::u16string& displayName,
                              const std::u16string& message) {
  return u"Service \"" + displayName +
         (install ? u"\" failed to install" : u"\" failed to uninstall") + u" with error: \"" +
         message + u"\"";
}

void LogWarning(TEventLogger& log, std::uint32_t eventId, const std::u16string& message) {
  log.LogMessage(message, platform::kEventlogWarningType, 0, eventId);
}

// Registers the sources of the installation; a failure is a warning and nothing more.
void RegisterSources(platform::Platform& platform,
                     std::span<TService* const> modules,
                     TEventLogger& log) {
  const auto sources = EventSources(platform.process, modules);
  const platform::ErrorCode error =
      sources.empty() ? platform::kErrorSuccess : RegisterEventSources(platform.registry, sources);
  if (sources.empty() || error != platform::kErrorSuccess) {
    LogWarning(log, kEventSourcesNotRegisteredEvent,
               u"The event sources could not be registered, so Event Viewer cannot show the "
               u"texts of the entries: " +
                   WindowsCallFailure(platform.eventLog, error).Text());
  }
}

}  // namespace

std::u16string ServiceProgramPath(platform::Process& process, platform::EventLog& eventLog) {
  std::u16string path = process.ModuleFileName();
  // An entry without a program could never start; the installation fails instead.
  if (path.empty())
    throw WindowsCallFailure(eventLog, 0);
  if (path.find(u' ') != std::u16string::npos)
    path = u"\"" + path + u"\"";
  return path;
}

void ShowResultMessage(platform::Process& process, const std::u16string& text, MessageKind kind) {
  const bool error = kind == MessageKind::kError;
  static_cast<void>(process.ShowMessageBox(
      text.c_str(), error ? u"Error" : u"Information",
      platform::kMbOk | (error ? platform::kMbIconError : platform::kMbIconInformation)));
}

bool InstallOrRemoveServices(platform::Platform& platform,
                             std::span<TService* const> modules,
                             bool install,
                             ResultBoxes boxes,
                             TEventLogger& log) {
  platform::ScopedServiceHandle manager(platform.services);
  const platform::ErrorCode error =
      platform.services.OpenManager(platform::kScManagerAllAccess, manager.put());
  if (!manager)
    throw WindowsCallFailure(platform.eventLog, error);

  bool success = true;
  for (TService* module : modules) {
    try {
      if (install) {
        InstallServiceModule(platform, *module, manager.get(), log);
      } else {
        RemoveServiceModule(platform, *module, manager.get());
      }
    } catch (const std::exception& failure) {
      success = false;
      const auto* windowsFailure = dynamic_cast<const WindowsCallFailure*>(&failure);
      const std::u16string message =
          windowsFailure ? windowsFailure->Text() : FromUtf8(failure.what());
      const std::u16string text = FailureBoxText(install, ModuleDisplayName(*module), message);
      if (boxes == ResultBoxes::kNone) {
        log.LogMessage(text, platform::kEventlogErrorType, 0, kQuietInstallationFailedEvent);
      } else {
        ShowResultMessage(platform.process, text, MessageKind::kError);
      }
    }
  }
  if (install && success) {
    RegisterSources(platform, modules, log);
  } else if (!install) {
    // A source left behind names a file that is gone; Event Viewer then shows the entries'
    // texts without a message file, as it did before the installation.
    static_cast<void>(
        RemoveEventSources(platform.registry, EventSources(platform.process, modules)));
  }
  if (success && boxes == ResultBoxes::kAll) {
    ShowResultMessage(
        platform.process,
        install ? u"Service installed successfully" : u"Service uninstalled successfully",
        MessageKind::kInformation);
  }
  return success;
}

void InstallServiceModule(platform::Platform& platform,
                          TService& service,
                          platform::ServiceHandle manager,
                          TEventLogger& log) {
  const std::u16string path = ServiceProgramPath(platform.process, platform.eventLog);
  if (const auto& hook = service.BeforeInstall())
    hook(service);

  const std::u16string displayName = ModuleDisplayName(service);
  const std::u16string dependencies = DependencyList(service.Dependencies());
  std::optional<std::uint32_t> tag;
  if (service.TagID() != 0)
    tag = service.TagID();
  platform::ServiceDefinition definition;
  definition.serviceName = service.Name().c_str();
  definition.displayName = displayName.c_str();
  definition.desiredAccess = platform::kServiceAllAccess;
  definition.serviceType = ServiceTypeCode(service.ServiceType(), service.Interactive());
  definition.startType = StartTypeCode(service);
  definition.errorControl = ErrorControlCode(service.ErrorSeverity());
  definition.binaryPathName = path.c_str();
  definition.loadOrderGroup = service.LoadGroup().c_str();
  definition.tagId = tag ? &*tag : nullptr;
  definition.dependencies = dependencies.c_str();
  definition.serviceStartName =
      service.ServiceStartName().empty() ? nullptr : service.ServiceStartName().c_str();
  definition.password = service.Password().c_str();

  platform::ScopedServiceHandle entry(platform.services);
  const platform::ErrorCode error =
      platform.services.CreateServiceEntry(manager, definition, entry.put());
  if (tag)
    service.SetTagID(*tag);
  if (!entry)
    throw WindowsCallFailure(platform.eventLog, error);
  if (const auto& hook = service.AfterInstall())
    hook(service);
  const platform::ServiceFailureActions recovery{kRecoveryResetPeriodSeconds, kRecoveryActions};
  if (const auto refused = platform.services.ChangeFailureActions(entry.get(), recovery)) {
    LogWarning(log, kRecoveryActionsNotSetEvent,
               u"The recovery actions of service \"" + service.Name() +
                   u"\" could not be set, so the service manager will not restart it after a "
                   u"failure: " +
                   WindowsCallFailure(platform.eventLog, refused).Text());
  }
}

void RemoveServiceModule(platform::Platform& platform,
                         TService& service,
                         platform::ServiceHandle manager) {
  platform::ScopedServiceHandle entry(platform.services);
  const platform::ErrorCode error = platform.services.OpenServiceEntry(
      manager, service.Name().c_str(), platform::kServiceAllAccess, entry.put());
  if (!entry)
    throw WindowsCallFailure(platform.eventLog, error);
  // The entry's handle is closed by its owner after the failure has taken its error code.
  if (const auto deleteError = platform.services.DeleteServiceEntry(entry.get())) {
    throw WindowsCallFailure(platform.eventLog, deleteError);
  }
}

}  // namespace calvera::service
