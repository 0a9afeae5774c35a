#include "e2e/support/module_resources.h"

#include <cstdio>
#include <vector>

#include "e2e/support/text.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {
namespace {

std::string Quad(DWORD high, DWORD low) {
  char text[64];
  std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(high)),
                static_cast<unsigned long>(LOWORD(high)), static_cast<unsigned long>(HIWORD(low)),
                static_cast<unsigned long>(LOWORD(low)));
  return text;
}

}  // namespace

std::optional<VersionInfo> ReadVersionInfo(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0)
    return std::nullopt;
  std::vector<std::byte> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
    return std::nullopt;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof *fixed) {
    return std::nullopt;
  }
  VersionInfo info;
  info.fileVersion = Quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  info.productVersion = Quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof *translation) {
    return info;
  }
  wchar_t block[64];
  std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
                translation->codePage);
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), (std::wstring(block) + name).c_str(),
                       reinterpret_cast<void**>(&value), &length) &&
        value != nullptr) {
      info.strings[Utf8(name)] = Utf8(value);
    }
  }
  return info;
}

std::optional<std::wstring> FormatEventMessage(const std::wstring& path,
                                               DWORD id,
                                               DWORD language,
                                               const std::wstring& insertion,
                                               DWORD* error) {
  // As Event Viewer reads a message file: never run, only its resources mapped.
  const UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) {
    *error = GetLastError();
    return std::nullopt;
  }
  const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion.c_str())};
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      module.get(), id, language, reinterpret_cast<wchar_t*>(&text), 0,
      reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
  if (length == 0) {
    *error = GetLastError();
    return std::nullopt;
  }
  std::wstring message(text, length);
  LocalFree(text);
  *error = ERROR_SUCCESS;
  return message;
}

}  // namespace calvera::e2e
