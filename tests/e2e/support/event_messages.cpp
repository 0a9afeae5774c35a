#include "e2e/support/event_messages.h"

namespace calvera::e2e {

const std::vector<EventSource>& EventSources() {
  // The service's failures (1-6) and the process's (10-12, 20-22) share Calvera.exe's table.
  static const std::vector<DWORD> service = {0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 20, 21, 22};
  static const std::vector<EventSource> sources = {
      {L"Calvera", L"Calvera.exe", service},
      {L"Calvera.exe", L"Calvera.exe", service},
      // A run that reached its target (1), fell short (2) or failed (3); an argument it cannot
      // use (4); the shared objects not to be had (5).
      {L"CalveraDefrag", L"CalveraDefrag.exe", {0, 1, 2, 3, 4, 5}},
  };
  return sources;
}

}  // namespace calvera::e2e
