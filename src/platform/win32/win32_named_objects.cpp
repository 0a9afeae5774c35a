#include "platform/win32/win32_api.h"
#include "platform/win32/win32_companion_parts.h"
#include "platform/win32/win32_system_function.h"

namespace calvera::platform {
namespace {

// The namespace functions arrived with Windows Vista; Wine exports them, but its
// CreateBoundaryDescriptorW answers NULL.
using CreateBoundaryDescriptorFunction = HANDLE(WINAPI*)(LPCWSTR name, ULONG flags);
using AddSidFunction = BOOL(WINAPI*)(HANDLE* boundary, PSID sid);
using DeleteBoundaryDescriptorFunction = VOID(WINAPI*)(HANDLE boundary);
using OpenPrivateNamespaceFunction = HANDLE(WINAPI*)(LPVOID boundary, LPCWSTR alias);
using CreatePrivateNamespaceFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES attributes,
                                                       LPVOID boundary,
                                                       LPCWSTR alias);
using ClosePrivateNamespaceFunction = BOOLEAN(WINAPI*)(HANDLE ns, ULONG flags);

struct NamespaceFunctions {
  CreateBoundaryDescriptorFunction createBoundary = nullptr;
  AddSidFunction addSid = nullptr;
  DeleteBoundaryDescriptorFunction deleteBoundary = nullptr;
  OpenPrivateNamespaceFunction open = nullptr;
  CreatePrivateNamespaceFunction create = nullptr;

  NamespaceFunctions() {
    createBoundary = FindSystemFunction<CreateBoundaryDescriptorFunction>(
        L"kernel32.dll", "CreateBoundaryDescriptorW");
    addSid = FindSystemFunction<AddSidFunction>(L"kernel32.dll", "AddSIDToBoundaryDescriptor");
    deleteBoundary = FindSystemFunction<DeleteBoundaryDescriptorFunction>(
        L"kernel32.dll", "DeleteBoundaryDescriptor");
    open = FindSystemFunction<OpenPrivateNamespaceFunction>(L"kernel32.dll",
                                                            "OpenPrivateNamespaceW");
    create = FindSystemFunction<CreatePrivateNamespaceFunction>(L"kernel32.dll",
                                                                "CreatePrivateNamespaceW");
  }
  bool Complete() const {
    return createBoundary != nullptr && addSid != nullptr && deleteBoundary != nullptr &&
           open != nullptr && create != nullptr;
  }
};

// GetLastError(), or `otherwise` when a failing call left no error behind.
ErrorCode LastErrorOr(ErrorCode otherwise) {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? static_cast<ErrorCode>(error) : otherwise;
}

HANDLE OpenOrCreateNamespace(const NamespaceFunctions& functions,
                             HANDLE boundary,
                             const wchar_t* alias,
                             ErrorCode* error) {
  // Another process may create it between the open and the create; then it opens.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (const HANDLE opened = functions.open(boundary, alias)) {
      return opened;
    }
    if (const HANDLE created = functions.create(nullptr, boundary, alias)) {
      return created;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  *error = LastErrorOr(kErrorAccessDenied);
  return nullptr;
}

HANDLE SystemNamespace(const char16_t* alias, ErrorCode* error) {
  const NamespaceFunctions functions;
  if (!functions.Complete()) {
    *error = kErrorProcNotFound;
    return nullptr;
  }
  ::SetLastError(ERROR_SUCCESS);
  HANDLE boundary = functions.createBoundary(Wide(alias), 0);
  if (boundary == nullptr) {
    *error = LastErrorOr(kErrorCallNotImplemented);
    return nullptr;
  }
  HANDLE ns = nullptr;
  BYTE sid[SECURITY_MAX_SID_SIZE] = {};
  DWORD sidSize = sizeof sid;
  if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, sid, &sidSize) ||
      !functions.addSid(&boundary, sid)) {
    *error = LastErrorOr(kErrorInvalidParameter);
  } else {
    ns = OpenOrCreateNamespace(functions, boundary, Wide(alias), error);
  }
  const LastErrorKeeper keeper;
  functions.deleteBoundary(boundary);
  return ns;
}

HANDLE MutexOf(MutexHandle mutex) {
  return ToHandle<HANDLE>(static_cast<std::uintptr_t>(mutex));
}

HANDLE SectionOf(CounterHandle counter) {
  return ToHandle<HANDLE>(static_cast<std::uintptr_t>(counter));
}

// Applies `operation` to the counter through a view mapped for the moment: the section's handle
// must stay open (a named section whose handles are all closed loses its name, even while a view
// of it remains), and a view per operation needs no second handle to keep. 0 when no view can be
// mapped.
template <typename Operation>
std::uint64_t WithView(CounterHandle counter, Operation operation) {
  void* view = ::MapViewOfFile(SectionOf(counter), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                               sizeof(LONG64));
  if (view == nullptr) {
    return 0;
  }
  const auto value = static_cast<std::uint64_t>(operation(static_cast<volatile LONG64*>(view)));
  const LastErrorKeeper keeper;
  ::UnmapViewOfFile(view);
  return value;
}

}  // namespace

NamespaceHandle Win32NamedObjects::OpenSystemNamespace(const char16_t* alias, ErrorCode* error) {
  ErrorCode ignored = kErrorSuccess;
  return static_cast<NamespaceHandle>(
      FromHandle(SystemNamespace(alias, error != nullptr ? error : &ignored)));
}

void Win32NamedObjects::CloseNamespace(NamespaceHandle ns) {
  const LastErrorKeeper keeper;
  // Found, or the namespace could not have been opened.
  if (const auto close = FindSystemFunction<ClosePrivateNamespaceFunction>(
          L"kernel32.dll", "ClosePrivateNamespace")) {
    close(ToHandle<HANDLE>(static_cast<std::uintptr_t>(ns)), 0);
  }
}

MutexHandle Win32NamedObjects::OpenOrCreateMutex(const char16_t* name, ErrorCode* error) {
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, Wide(name));
  if (mutex == nullptr) {
    StoreLastError(error);
  }
  return static_cast<MutexHandle>(FromHandle(mutex));
}

LockResult Win32NamedObjects::TryLock(MutexHandle mutex) {
  switch (::WaitForSingleObject(MutexOf(mutex), 0)) {
    case WAIT_OBJECT_0:
      return LockResult::kAcquired;
    case WAIT_ABANDONED:
      return LockResult::kAbandoned;
    case WAIT_TIMEOUT:
      return LockResult::kBusy;
    default:
      return LockResult::kFailed;
  }
}

void Win32NamedObjects::Unlock(MutexHandle mutex) {
  const LastErrorKeeper keeper;
  ::ReleaseMutex(MutexOf(mutex));
}

void Win32NamedObjects::CloseMutex(MutexHandle mutex) {
  const LastErrorKeeper keeper;
  ::CloseHandle(MutexOf(mutex));
}

CounterHandle Win32NamedObjects::OpenOrCreateCounter(const char16_t* name, ErrorCode* error) {
  const HANDLE section = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              sizeof(LONG64), Wide(name));
  if (section == nullptr) {
    StoreLastError(error);
  }
  return static_cast<CounterHandle>(FromHandle(section));
}

std::uint64_t Win32NamedObjects::AddToCounter(CounterHandle counter, std::uint64_t amount) {
  return WithView(counter, [amount](volatile LONG64* value) {
    return ::InterlockedExchangeAdd64(value, static_cast<LONG64>(amount));
  });
}

std::uint64_t Win32NamedObjects::TakeCounter(CounterHandle counter) {
  return WithView(counter, [](volatile LONG64* value) { return ::InterlockedExchange64(value, 0); });
}

std::uint64_t Win32NamedObjects::ReadCounter(CounterHandle counter) {
  return WithView(counter,
                  [](volatile LONG64* value) { return ::InterlockedCompareExchange64(value, 0, 0); });
}

void Win32NamedObjects::CloseCounter(CounterHandle counter) {
  const LastErrorKeeper keeper;
  ::CloseHandle(SectionOf(counter));
}

}  // namespace calvera::platform
