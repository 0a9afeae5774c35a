#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"
#include "platform/win32/win32_system_function.h"

namespace calvera::platform {
namespace {

using SetSystemFileCacheSizeFunction = BOOL(WINAPI*)(SIZE_T minimum, SIZE_T maximum, DWORD flags);

}  // namespace

ErrorCode Win32SystemFileCache::TrimWorkingSet() {
  const auto setSize =
      FindSystemFunction<SetSystemFileCacheSizeFunction>(L"kernel32.dll", "SetSystemFileCacheSize");
  if (setSize == nullptr) {
    return kErrorProcNotFound;
  }
  constexpr SIZE_T kFlushWorkingSet = static_cast<SIZE_T>(-1);
  return CallResult(setSize(kFlushWorkingSet, kFlushWorkingSet, 0));
}

}  // namespace calvera::platform
