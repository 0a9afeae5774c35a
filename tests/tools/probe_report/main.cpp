// calvera_probes [--load]: prints what the service's probes read on this machine, one
// "key=value" per line: total and available physical memory in bytes, the Windows version code
// and, with --load, the processor load over one second.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "probes/cpu.h"
#include "probes/ram.h"
#include "probes/windows_version.h"

int wmain(int argc, wchar_t** argv) {
  auto& platform = calvera::platform::Win32Platform();
  std::printf("total=%lld\n",
              static_cast<long long>(calvera::probes::GetTotalPhysicalMemory(platform.libraries)));
  std::printf(
      "available=%lld\n",
      static_cast<long long>(calvera::probes::GetAvailablePhysicalMemory(platform.libraries)));
  std::printf("version=%d\n",
              static_cast<int>(calvera::probes::GetWindowsVersionCode(platform.system)));
  if (argc > 1 && std::wcscmp(argv[1], L"--load") == 0) {
    calvera::probes::ProcessorLoadSampler sampler;
    static_cast<void>(sampler.GetProcessorLoad(platform));  // the first call only takes the sample
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf("load=%.1f\n", sampler.GetProcessorLoad(platform));
  }
  return 0;
}
