// Starting the companion program through the shell, without waiting for it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace calvera::maintenance {

// The companion's file name: the executable's directory (platform/module_path.h, up to and
// including the last '\' or ':' of its full file name), followed by "CalveraDefrag.exe". Empty when
// the executable's name cannot be had: a bare file name would let the shell search other folders,
// and this service runs as LocalSystem.
std::u16string CompanionProgramPath(platform::Process& process);

// ShellExecuteW(owner, "open", file, parameters, no directory, SW_SHOW). Returns as soon as
// the start has been asked for; every failure is swallowed. On the tick's thread.
void LaunchProgram(platform::Process& process,
                   platform::WindowHandle owner,
                   const std::u16string& file,
                   const std::u16string& parameters) noexcept;

}  // namespace calvera::maintenance
