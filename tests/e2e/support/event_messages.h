// The event IDs that each event source's message table must render, written here apart from
// the executables' own declarations so that a message left out of a table, or an ID changed on
// one side only, shows as a failure. Callable from any thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace calvera::e2e {

struct EventSource {
  const wchar_t* name;        // the source's name under EventLog\Application
  const wchar_t* executable;  // the file name of its message file
  std::vector<DWORD> ids;     // every ID its entries are written with, 0 included
};

// "Calvera" and "Calvera.exe", whose message file is Calvera.exe, and "CalveraDefrag", whose
// message file is CalveraDefrag.exe.
const std::vector<EventSource>& EventSources();

// Every message renders its one insertion string unchanged: an entry's text is its %1.
inline constexpr wchar_t kInsertionText[] = L"Service failed on start: error 5: Access is denied.";

}  // namespace calvera::e2e
