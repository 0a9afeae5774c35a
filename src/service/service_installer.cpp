#include "service/service_installer.h"

#include <optional>

#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "service/windows_call_failure.h"

namespace calvera::service {
namespace {

constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

std::u16string ModuleDisplayName(const TService& service) {
  return service.DisplayName().empty() ? service.Name() : service.DisplayName();
}

std::uint32_t StartTypeCode(const TService& service) {
  switch (service.StartType()) {
    case TStartType::stBoot:
    case TStartType::stSystem:
      // Only drivers start at boot or with the system.
      if (service.ServiceType() != TServiceType::stDevice)
        return 2;
      return service.StartType() == TStartType::stBoot ? 0 : 1;
    case TStartType::stAuto:
      return 2;
    case TStartType::stManual:
      return 3;
    case TStartType::stDisabled:
      return 4;
  }
  return 2;
}

std::uint32_t ErrorControlCode(TErrorSeverity severity) {
  return static_cast<std::uint32_t>(severity);  // esIgnore 0 ... esCritical 3
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
  (void)process.MessageBox(
      text.c_str(), error ? u"Error" : u"Information",
      platform::kMbOk | (error ? platform::kMbIconError : platform::kMbIconInformation));
}

bool InstallOrRemoveServices(platform::Platform& platform,
                             std::span<TService* const> modules,
                             bool install,
                             bool silent) {
  platform::ErrorCode error = 0;
  const platform::ScopedServiceHandle manager(
      platform.services, platform.services.OpenManager(kScManagerAllAccess, &error));
  if (!manager)
    throw WindowsCallFailure(platform.eventLog, error);

  bool success = true;
  for (TService* module : modules) {
    try {
      if (install) {
        InstallServiceModule(platform, *module, manager.get());
      } else {
        RemoveServiceModule(platform, *module, manager.get());
      }
    } catch (const std::exception& failure) {
      success = false;
      const auto* windowsFailure = dynamic_cast<const WindowsCallFailure*>(&failure);
      const std::u16string message =
          windowsFailure ? windowsFailure->Text() : FromUtf8(failure.what());
      ShowResultMessage(platform.process,
                        FailureBoxText(install, ModuleDisplayName(*module), message),
                        MessageKind::kError);
    }
  }
  if (success && !silent) {
    ShowResultMessage(
        platform.process,
        install ? u"Service installed successfully" : u"Service uninstalled successfully",
        MessageKind::kInformation);
  }
  return success;
}

void InstallServiceModule(platform::Platform& platform,
                          TService& service,
                          platform::ServiceHandle manager) {
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
  definition.desiredAccess = kServiceAllAccess;
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

  platform::ErrorCode error = 0;
  const platform::ScopedServiceHandle entry(
      platform.services, platform.services.CreateService(manager, definition, &error));
  if (tag)
    service.SetTagID(*tag);
  if (!entry)
    throw WindowsCallFailure(platform.eventLog, error);
  if (const auto& hook = service.AfterInstall())
    hook(service);
}

void RemoveServiceModule(platform::Platform& platform,
                         TService& service,
                         platform::ServiceHandle manager) {
  platform::ErrorCode error = 0;
  const platform::ScopedServiceHandle entry(
      platform.services,
      platform.services.OpenService(manager, service.Name().c_str(), kServiceAllAccess, &error));
  if (!entry)
    throw WindowsCallFailure(platform.eventLog, error);
  // The entry's handle is closed by its owner after the failure has taken its error code.
  if (const auto deleteError = platform.services.DeleteService(entry.get())) {
    throw WindowsCallFailure(platform.eventLog, deleteError);
  }
}

}  // namespace calvera::service
