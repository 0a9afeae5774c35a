#include "maintenance/shell.h"

#include "platform/failure_policy.h"
#include "platform/module_path.h"

namespace calvera::maintenance {

std::u16string CompanionProgramPath(platform::Process& process) {
  std::u16string path = platform::ExecutableDirectory(process);
  if (path.empty())
    return {};
  path += u"CalveraDefrag.exe";
  return path;
}

void LaunchProgram(platform::Process& process,
                   platform::WindowHandle owner,
                   const std::u16string& file,
                   const std::u16string& parameters) noexcept {
  // Whether the companion started is not looked at: the next run is the tick's decision.
  TryOrIgnore([&] {
    static_cast<void>(process.ShellExecuteFile(owner, u"open", file.c_str(), parameters.c_str(),
                                               nullptr, platform::kSwShow));
  });
}

}  // namespace calvera::maintenance
