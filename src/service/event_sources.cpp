#include "service/event_sources.h"

#include <cstdint>

#include "maintenance/shell.h"
#include "platform/module_path.h"
#include "platform/scoped_handle.h"

namespace calvera::service {
namespace {

// EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE.
constexpr std::uint32_t kTypesSupported = platform::kEventlogErrorType |
                                          platform::kEventlogWarningType |
                                          platform::kEventlogInformationType;
static_assert(kTypesSupported == 7);

std::u16string SourceKey(const EventSource& source) {
  return kApplicationLogKeyPath + source.name;
}

platform::ErrorCode WriteValues(platform::Registry& registry,
                                platform::RegistryKeyHandle key,
                                const EventSource& source) {
  const auto size = static_cast<std::uint32_t>((source.messageFile.size() + 1) * sizeof(char16_t));
  if (const auto error = registry.SetValue(key, u"EventMessageFile", platform::kRegExpandSz,
                                           source.messageFile.c_str(), size)) {
    return error;
  }
  return registry.SetValue(key, u"TypesSupported", platform::kRegDword, &kTypesSupported,
                           sizeof kTypesSupported);
}

platform::ErrorCode Register(platform::Registry& registry, const EventSource& source) {
  // The SYSTEM hive is not redirected: both views are one key.
  const std::u16string path = SourceKey(source);
  platform::ScopedRegistryKey key(registry);
  if (const auto error = registry.CreateKey(platform::RegistryRoot::kLocalMachine, path.c_str(),
                                            platform::kKeyWrite, key.put())) {
    return error;
  }
  const platform::ErrorCode error = WriteValues(registry, key.get(), source);
  if (error != platform::kErrorSuccess) {
    key.reset();
    // No half-written source: without its values it would only hide that it is missing.
    static_cast<void>(registry.DeleteTree(platform::RegistryRoot::kLocalMachine, path.c_str(),
                                          platform::kKeyWrite));
  }
  return error;
}

}  // namespace

std::vector<EventSource> EventSources(platform::Process& process,
                                      std::span<TService* const> modules) {
  const std::u16string executable = process.ModuleFileName();
  const std::u16string companion = maintenance::CompanionProgramPath(process);
  if (executable.empty() || companion.empty())
    return {};
  std::vector<EventSource> sources;
  for (const TService* module : modules)
    sources.push_back({module->Name(), executable});
  sources.push_back({platform::ExecutableFileName(process), executable});
  sources.push_back({kCompanionEventSource, companion});
  return sources;
}

platform::ErrorCode RegisterEventSources(platform::Registry& registry,
                                         std::span<const EventSource> sources) {
  platform::ErrorCode first = platform::kErrorSuccess;
  for (const EventSource& source : sources) {
    const platform::ErrorCode error = Register(registry, source);
    if (first == platform::kErrorSuccess)
      first = error;
  }
  return first;
}

platform::ErrorCode RemoveEventSources(platform::Registry& registry,
                                       std::span<const EventSource> sources) {
  platform::ErrorCode first = platform::kErrorSuccess;
  for (const EventSource& source : sources) {
    platform::ErrorCode error = registry.DeleteTree(platform::RegistryRoot::kLocalMachine,
                                                    SourceKey(source).c_str(), platform::kKeyWrite);
    if (error == platform::kErrorFileNotFound)
      error = platform::kErrorSuccess;
    if (first == platform::kErrorSuccess)
      first = error;
  }
  return first;
}

}  // namespace calvera::service
