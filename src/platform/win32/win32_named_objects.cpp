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
    open =
        FindSystemFunction<OpenPrivateNamespaceFunction>(L"kernel32.dll", "OpenPrivateNamespaceW");
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

ErrorCode OpenOrCreateNamespace(const NamespaceFunctions& functions,
                                HANDLE boundary,
                                const wchar_t* alias,
                                HANDLE* ns) {
  // Another process may create it between the open and the create; then it opens.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if ((*ns = functions.open(boundary, alias)) != nullptr) {
      return kErrorSuccess;
    }
    if ((*ns = functions.create(nullptr, boundary, alias)) != nullptr) {
      return kErrorSuccess;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  return LastErrorOr(kErrorAccessDenied);
}

ErrorCode SystemNamespace(const char16_t* alias, HANDLE* ns) {
  *ns = nullptr;
  const NamespaceFunctions functions;
  if (!functions.Complete()) {
    return kErrorProcNotFound;
  }
  ::SetLastError(ERROR_SUCCESS);
  HANDLE boundary = functions.createBoundary(Wide(alias), 0);
  if (boundary == nullptr) {
    return LastErrorOr(kErrorCallNotImplemented);
  }
  ErrorCode error = kErrorSuccess;
  BYTE sid[SECURITY_MAX_SID_SIZE] = {};
  DWORD sidSize = sizeof sid;
  if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, sid, &sidSize) ||
      !functions.addSid(&boundary, sid)) {
    error = LastErrorOr(kErrorInvalidParameter);
  } else {
    error = OpenOrCreateNamespace(functions, boundary, Wide(alias), ns);
  }
  const LastErrorKeeper keeper;
  functions.deleteBoundary(boundary);
  return error;
}

HANDLE MutexOf(MutexHandle mutex) {
  return ToNative<HANDLE>(mutex);
}

HANDLE SectionOf(CounterHandle counter) {
  return ToNative<HANDLE>(counter);
}

// Applies `operation` to the counter through a view mapped for the moment, its result into
// *value: the section's handle must stay open (a named section whose handles are all closed
// loses its name, even while a view of it remains), and a view per operation needs no second
// handle to keep.
template <typename Operation>
ErrorCode WithView(CounterHandle counter, std::uint64_t* value, Operation operation) {
  *value = 0;
  void* view =
      ::MapViewOfFile(SectionOf(counter), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(LONG64));
  if (view == nullptr) {
    return static_cast<ErrorCode>(::GetLastError());
  }
  *value = static_cast<std::uint64_t>(operation(static_cast<volatile LONG64*>(view)));
  const LastErrorKeeper keeper;
  ::UnmapViewOfFile(view);
  return kErrorSuccess;
}

}  // namespace

ErrorCode Win32NamedObjects::OpenSystemNamespace(const char16_t* alias, NamespaceHandle* ns) {
  HANDLE opened = nullptr;
  const ErrorCode error = SystemNamespace(alias, &opened);
  *ns = FromNative<NamespaceHandle>(opened);
  return error;
}

void Win32NamedObjects::CloseNamespace(NamespaceHandle ns) {
  const LastErrorKeeper keeper;
  // Found, or the namespace could not have been opened.
  if (const auto close = FindSystemFunction<ClosePrivateNamespaceFunction>(
          L"kernel32.dll", "ClosePrivateNamespace")) {
    close(ToNative<HANDLE>(ns), 0);
  }
}

ErrorCode Win32NamedObjects::OpenOrCreateMutex(const char16_t* name, MutexHandle* mutex) {
  return Handed(::CreateMutexW(nullptr, FALSE, Wide(name)), mutex);
}

ErrorCode Win32NamedObjects::TryLock(MutexHandle mutex, LockResult* result) {
  *result = LockResult::kBusy;
  switch (::WaitForSingleObject(MutexOf(mutex), 0)) {
    case WAIT_OBJECT_0:
      *result = LockResult::kAcquired;
      return kErrorSuccess;
    case WAIT_ABANDONED:
      *result = LockResult::kAbandoned;
      return kErrorSuccess;
    case WAIT_TIMEOUT:
      return kErrorSuccess;
    default:
      return LastErrorOr(kErrorInvalidHandle);
  }
}

ErrorCode Win32NamedObjects::Unlock(MutexHandle mutex) {
  return CallResult(::ReleaseMutex(MutexOf(mutex)));
}

void Win32NamedObjects::CloseMutex(MutexHandle mutex) {
  const LastErrorKeeper keeper;
  ::CloseHandle(MutexOf(mutex));
}

ErrorCode Win32NamedObjects::OpenOrCreateCounter(const char16_t* name, CounterHandle* counter) {
  return Handed(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(LONG64), Wide(name)),
                counter);
}

ErrorCode Win32NamedObjects::AddToCounter(CounterHandle counter,
                                          std::uint64_t amount,
                                          std::uint64_t* before) {
  return WithView(counter, before, [amount](volatile LONG64* value) {
    return ::InterlockedExchangeAdd64(value, static_cast<LONG64>(amount));
  });
}

ErrorCode Win32NamedObjects::TakeCounter(CounterHandle counter, std::uint64_t* before) {
  return WithView(counter, before,
                  [](volatile LONG64* value) { return ::InterlockedExchange64(value, 0); });
}

ErrorCode Win32NamedObjects::ReadCounter(CounterHandle counter, std::uint64_t* value) {
  return WithView(counter, value, [](volatile LONG64* shared) {
    return ::InterlockedCompareExchange64(shared, 0, 0);
  });
}

void Win32NamedObjects::CloseCounter(CounterHandle counter) {
  const LastErrorKeeper keeper;
  ::CloseHandle(SectionOf(counter));
}

}  // namespace calvera::platform
