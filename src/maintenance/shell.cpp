#include "maintenance/shell.h"

#include "platform/failure_policy.h"

namespace calvera::maintenance {

std::u16string CompanionProgramPath(platform::Process& process) {
  const std::u16string module = process.ModuleFileName();
  const auto delimiter = module.find_last_of(u"\\:");
  if (delimiter == std::u16string::npos)
    return {};
  return module.substr(0, delimiter + 1) + u"CalveraDefrag.exe";
}

void LaunchProgram(platform::Process& process,
                   platform::WindowHandle owner,
                   const std::u16string& file,
                   const std::u16string& parameters) noexcept {
  // Whether the companion started is not looked at: the next run is the tick's decision.
  TryOrIgnore([&] {
    (void)process.ShellExecuteFile(owner, u"open", file.c_str(), parameters.c_str(), nullptr,
                               platform::kSwShow);
  });
}

}  // namespace calvera::maintenance
