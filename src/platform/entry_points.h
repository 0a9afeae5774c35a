// Signatures of the system functions that the probes look up by name.
#pragma once

#include <cstdint>

#include "platform/calling_convention.h"

namespace calvera::platform {

// GlobalMemoryStatusEx in Kernel32.dll: fills the MEMORYSTATUSEX record at `record`; BOOL result.
using GlobalMemoryStatusExFunction = std::int32_t(CALVERA_WINAPI*)(void* record);

// NtQuerySystemInformation in ntdll.dll: NTSTATUS result, 0 for success.
using NtQuerySystemInformationFunction = std::int32_t(CALVERA_WINAPI*)(std::int32_t infoClass,
                                                                       void* buffer,
                                                                       std::uint32_t length,
                                                                       std::uint32_t* returned);

}  // namespace calvera::platform
