// The stand-in companion, which every other test reads its starts from: a burst of starts as
// the service makes them (ShellExecuteW back to back, none waited for) is recorded whole.
#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include "e2e/support/installed_service.h"

namespace calvera::e2e {
namespace {

constexpr int kBursts = 5;
constexpr int kStartsPerBurst = 24;  // a run of 24 launches, the most this machine's tests make

TEST(CompanionStandIn, RecordsEveryStartOfABurst) {
  ScopedInstalledService files(L"Calvera Stand-in Burst");  // the files only; nothing installed
  const std::wstring companion = files.Folder() + L"CalveraDefrag.exe";
  const CompanionLog log = files.Companions();
  for (int burst = 0; burst < kBursts; ++burst) {
    SCOPED_TRACE("burst " + std::to_string(burst + 1));
    const std::size_t mark = log.Mark();
    int refused = 0;
    for (int i = 0; i < kStartsPerBurst; ++i) {
      const auto result = reinterpret_cast<INT_PTR>(
          ShellExecuteW(nullptr, L"open", companion.c_str(), L"1024", nullptr, SW_SHOW));
      refused += result <= 32 ? 1 : 0;
    }
    EXPECT_EQ(refused, 0) << "ShellExecuteW refused starts";
    // Each stand-in records its start and its end before it exits.
    ASSERT_TRUE(files.WaitForCompanionsEnded(Deadline::After(Milliseconds(60000))));
    const auto records = log.RecordsSince(mark);
    const auto starts = std::count_if(records.begin(), records.end(),
                                      [](const CompanionRecord& r) { return r.start; });
    EXPECT_EQ(starts, kStartsPerBurst);
    EXPECT_EQ(static_cast<long>(records.size()) - starts, kStartsPerBurst) << "done records";
  }
}

}  // namespace
}  // namespace calvera::e2e
