#include "platform/win32/win32_system_information.h"

#include "platform/win32/win32_api.h"

namespace calvera::platform {

std::int32_t Win32SystemInformation::QueryVersion(void* record) {
  // The size field at the start of the record tells the basic and the extended form apart.
  return ::GetVersionExW(static_cast<OSVERSIONINFOW*>(record));
}

std::uint64_t Win32SystemInformation::MillisecondsSinceStart() {
  return ::GetTickCount64();
}

LocalTime Win32SystemInformation::GetLocalTime() {
  SYSTEMTIME time{};
  ::GetLocalTime(&time);
  return LocalTime{time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
                   time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
}

std::optional<std::uint8_t> Win32SystemInformation::AcLineStatus() {
  SYSTEM_POWER_STATUS status{};
  if (!::GetSystemPowerStatus(&status)) {
    return std::nullopt;
  }
  return status.ACLineStatus;
}

}  // namespace calvera::platform
