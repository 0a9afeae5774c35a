// What an executable says of itself without being run: its version resource and its event log
// message table, read through the loader as a data file, so that this 64-bit program reads the
// i686 build's images as well. Callable from any thread.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace calvera::e2e {

struct VersionInfo {
  // VS_FIXEDFILEINFO's versions as "1.2.3.4".
  std::string fileVersion;
  std::string productVersion;
  // The strings of the first translation, by name ("CompanyName", ...).
  std::map<std::string, std::string> strings;
};

// nullopt when the file has no version resource.
std::optional<VersionInfo> ReadVersionInfo(const std::wstring& path);

// FormatMessageW of message `id` in `language` (0: the loader's choice) from the message table
// of the executable at `path`, with `insertion` as %1. nullopt when it fails, with its error in
// *error.
std::optional<std::wstring> FormatEventMessage(const std::wstring& path,
                                               DWORD id,
                                               DWORD language,
                                               const std::wstring& insertion,
                                               DWORD* error);

}  // namespace calvera::e2e
