#include "platform/win32/win32_event_log.h"

#include <memory>

#include "platform/failure_policy.h"
#include "platform/win32/win32_api.h"

namespace calvera::platform {
namespace {

// FORMAT_MESSAGE_FROM_SYSTEM | IGNORE_INSERTS | ARGUMENT_ARRAY | ALLOCATE_BUFFER.
constexpr DWORD kSystemMessageFlags = 0x3300;

struct LocalFreeDeleter {
  void operator()(wchar_t* buffer) const {
    const LastErrorKeeper keeper;
    ::LocalFree(buffer);
  }
};

std::u16string FormatSystemMessage(ErrorCode code) {
  wchar_t* allocated = nullptr;
  const DWORD length = ::FormatMessageW(kSystemMessageFlags, nullptr, code, 0,
                                        reinterpret_cast<wchar_t*>(&allocated), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreeDeleter> buffer(allocated);
  if (length == 0 || buffer == nullptr) {
    return {};
  }
  return std::u16string(Utf16(buffer.get()), length);
}

}  // namespace

EventSourceHandle Win32EventLog::RegisterSource(const char16_t* sourceName) {
  return FromNative<EventSourceHandle>(::RegisterEventSourceW(nullptr, Wide(sourceName)));
}

bool Win32EventLog::Report(EventSourceHandle source,
                           std::uint16_t type,
                           std::uint16_t category,
                           std::uint32_t eventId,
                           const char16_t* message) {
  const wchar_t* strings[] = {Wide(message)};
  return ::ReportEventW(ToNative<HANDLE>(source), type, category, eventId, nullptr, 1, 0, strings,
                        nullptr) != FALSE;
}

void Win32EventLog::DeregisterSource(EventSourceHandle source) {
  const LastErrorKeeper keeper;
  ::DeregisterEventSource(ToNative<HANDLE>(source));
}

std::u16string Win32EventLog::SystemMessage(ErrorCode code) {
  return TryOrDefault([code] { return FormatSystemMessage(code); }, std::u16string());
}

}  // namespace calvera::platform
