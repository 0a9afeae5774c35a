// Process image names as Windows compares file names: without regard to letter case. A name
// matches with or without its ".exe", since the system reports some processes without one
// ("Registry", "vmmem") and users write names either way. Plain functions of their arguments:
// any thread may call, and none fails.
#pragma once

#include <string_view>

namespace calvera::companion {

// True when both name the same image: equal after dropping a final ".exe" from each and
// folding the letters of the Latin, Greek and Cyrillic alphabets to one case.
bool SameImageName(std::u16string_view a, std::u16string_view b);

// The processes the system cannot do without or that keep its session together: smss, csrss,
// wininit, winlogon, services, lsass, lsaiso, dwm, audiodg, fontdrvhost, Registry, Memory
// Compression, Secure System.
bool IsCriticalSystemProcess(std::u16string_view imageName);

// Hosts of virtual machines, whose working set is the guest's memory: vmware-vmx, VirtualBoxVM,
// VBoxHeadless, vmwp, and every vmmem* and qemu* image.
bool IsVirtualMachineHost(std::u16string_view imageName);

}  // namespace calvera::companion
