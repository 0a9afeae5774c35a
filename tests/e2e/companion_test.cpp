// The real CalveraDefrag.exe under Wine. Wine's freeing calls have no effect
// (SetSystemFileCacheSize fails with error 120, a trim answers success and changes nothing, the
// page lists cannot be read, the process snapshot reports private working sets of 0), so every
// run falls short with 0 MB freed by its steps: what these tests prove is the program around the
// freeing, which the unit tests prove on a model of the page lists. Its arguments and exit
// codes; the honest record of a run that freed nothing, and its level; a burst of launches served
// by one worker with every request accounted for; the cooldown and the record that reports what
// it dropped. Amounts of 1024 MB keep the host's own swings of available memory from meeting a
// request by chance.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "e2e/support/companion_runs.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/text.h"

namespace calvera::e2e {
namespace {

constexpr Milliseconds kRunTimeout(30000);
// The companion's hard limit of work per run; a run under Wine ends long before it.
constexpr std::uint64_t kDeadlineMs = 15000;
constexpr std::uint64_t kProcessStartSlackMs = 5000;

struct CompanionRun {
  ChildResult result;
  std::uint64_t elapsedMs = 0;
  std::vector<CompanionEntry> entries;
};

CompanionRun RunCompanion(const std::wstring& program, const std::wstring& arguments) {
  CompanionRun run;
  const std::uint64_t mark = EventLogChannel::Session().Mark();
  const std::uint64_t began = NowMs();
  run.result = RunToEnd(program, arguments, Deadline::After(kRunTimeout));
  run.elapsedMs = NowMs() - began;
  run.entries = CompanionEntriesSince(mark, {run.result.processId});
  return run;
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

std::string Describe(const std::vector<CompanionEntry>& entries) {
  std::string text;
  for (const CompanionEntry& entry : entries)
    text += "\n  " + entry.level + ": " + entry.text;
  return text.empty() ? " none" : text;
}

TEST(Companion, ArgumentsExitCodesAndTheRecordOfARunThatFreedNothing) {
  ASSERT_TRUE(EventLogChannel::Session().IsAvailable()) << "run through tests/e2e/run_e2e.sh";
  const std::string badStart =
      "Not started with one whole number of megabytes to free, so nothing was done: ";
  struct Case {
    const wchar_t* arguments;
    DWORD exitCode;
    std::string level;      // of the one entry; empty: no entry
    std::string firstLine;  // a regular expression
  } cases[] = {
      {L"", 2, "warn", badStart + "there is no argument\\."},
      {L"abc", 2, "warn", badStart + "\"abc\" is not a decimal number within 32 bits\\."},
      {L"1 2", 2, "warn", badStart + "there are 2 arguments\\."},
      {L"4294967296", 2, "warn", badStart + "\"4294967296\" is not a decimal number.*"},
      {L"0", 0, "", ""},
      {L"-5", 0, "", ""},
      {L"-2147483648", 0, "", ""},
      {L"1024", 1, "warn",
       "Fell short: \\d+ MB (more|less) available memory, 1024 MB asked; "
       "every step has been tried\\."},
      {L"+01024", 1, "warn", "Fell short: .*, 1024 MB asked; every step has been tried\\."},
      {L"\"5000\"", 1, "warn", "Fell short: .*, 1024 MB asked; every step has been tried\\."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("CalveraDefrag.exe " + Utf8(c.arguments));
    const CompanionRun run = RunCompanion(RealCompanion(), c.arguments);
    ASSERT_TRUE(run.result.ended) << run.result.Describe();
    EXPECT_EQ(run.result.exitCode, c.exitCode) << run.result.Describe();
    EXPECT_LE(run.elapsedMs, kDeadlineMs + kProcessStartSlackMs) << "within its deadline";
    if (c.level.empty()) {
      EXPECT_TRUE(run.entries.empty()) << "entries:" << Describe(run.entries);
      continue;
    }
    ASSERT_EQ(run.entries.size(), 1u) << "entries:" << Describe(run.entries);
    const CompanionEntry& entry = run.entries[0];
    EXPECT_EQ(entry.level, c.level);
    EXPECT_TRUE(std::regex_match(FirstLine(entry.text), std::regex(c.firstLine))) << entry.text;
    if (c.exitCode != 1)
      continue;
    // What the steps freed is what was measured after them: nothing, since no call took effect
    // and so no step settled and measured. The file cache's call is missing under Wine.
    EXPECT_EQ(AskedIn(entry), (RequestCount{1, 1024})) << entry.text;
    EXPECT_TRUE(
        std::regex_search(entry.text, std::regex("\\nFreed by the steps: 0 MB in 0\\.\\d\\d s\\.")))
        << entry.text;
    EXPECT_NE(entry.text.find("\n1. System file cache: failed, error 120"), std::string::npos)
        << entry.text;
  }
}

TEST(Companion, ABurstIsServedByOneWorkerAndEveryRequestIsAccountedFor) {
  constexpr int kLaunches = 8;
  constexpr std::uint64_t kOneAliveAfterMs = 1000;
  // Installed, so that the state between companions is kept; not started, so that only the
  // test launches companions.
  ScopedInstalledService service(L"Calvera Companion Burst", RealCompanion());
  ASSERT_TRUE(service.Install());
  const std::wstring companion = service.Folder() + L"CalveraDefrag.exe";
  const std::uint64_t mark = EventLogChannel::Session().Mark();

  std::vector<StartedCompanion> burst;
  for (int i = 0; i < kLaunches; ++i) {
    burst.emplace_back(companion, L"1024");
    ASSERT_TRUE(burst.back().Started()) << ErrorText(GetLastError());
  }
  const std::uint64_t launched = NowMs();
  std::size_t mostAliveLater = 0;
  const auto alive = [&burst] {
    return static_cast<std::size_t>(std::count_if(
        burst.begin(), burst.end(), [](const StartedCompanion& c) { return !c.Ended(); }));
  };
  ASSERT_TRUE(WaitUntil(
      [&] {
        const std::size_t now = alive();
        if (NowMs() - launched >= kOneAliveAfterMs)
          mostAliveLater = std::max(mostAliveLater, now);
        return now == 0;
      },
      Deadline::After(kRunTimeout), Milliseconds(10)))
      << alive() << " companions still run";
  EXPECT_LE(mostAliveLater, 1u) << "companions alive " << kOneAliveAfterMs << " ms after the burst";

  std::vector<DWORD> processes;
  int workers = 0;
  for (const StartedCompanion& c : burst) {
    processes.push_back(c.ProcessId());
    const auto code = c.ExitCode();
    ASSERT_TRUE(code.has_value());
    // 0: queued for the worker; 1: the worker, whose run fell short.
    EXPECT_TRUE(*code == 0 || *code == 1) << "exit code " << *code;
    workers += *code == 1 ? 1 : 0;
  }
  EXPECT_GE(workers, 1);

  // Each worker run wrote one warning; together with the requests the cooldown dropped, which
  // the stored state counts, they hold every request of the burst.
  const auto entries = CompanionEntriesSince(mark, processes);
  ASSERT_FALSE(entries.empty());
  RequestCount accounted;
  for (const CompanionEntry& entry : entries) {
    EXPECT_EQ(entry.level, "warn") << entry.text;
    const auto asked = AskedIn(entry);
    ASSERT_TRUE(asked.has_value()) << entry.text;
    accounted.requests += asked->requests;
    accounted.megabytes += asked->megabytes;
  }
  const auto state = ReadCompanionState();
  ASSERT_TRUE(state.has_value()) << "no state in the service's key";
  accounted.requests += state->droppedRequests;
  accounted.megabytes += state->droppedMegabytes;
  std::printf("    %zu worker runs; %u requests dropped in the cooldown\n", entries.size(),
              state->droppedRequests);
  EXPECT_EQ(accounted, (RequestCount{kLaunches, kLaunches * 1024}))
      << "records:" << Describe(entries);
}

TEST(Companion, TheCooldownCountsAndDropsRequestsAndTheNextRunReportsThem) {
  ScopedInstalledService service(L"Calvera Companion Cooldown", RealCompanion());
  ASSERT_TRUE(service.Install());
  const std::wstring companion = service.Folder() + L"CalveraDefrag.exe";

  const CompanionRun first = RunCompanion(companion, L"1024");
  EXPECT_EQ(first.result.exitCode, 1u) << first.result.Describe();
  ASSERT_EQ(first.entries.size(), 1u) << Describe(first.entries);
  const auto cooling = ReadCompanionState();
  ASSERT_TRUE(cooling.has_value());
  EXPECT_GT(cooling->cooldownUntil, NowMs()) << "a cooldown after a run that fell short";

  // Within the cooldown: no run, no entry, counted.
  const CompanionRun dropped = RunCompanion(companion, L"2000");
  EXPECT_EQ(dropped.result.exitCode, 1u) << dropped.result.Describe();
  EXPECT_TRUE(dropped.entries.empty()) << Describe(dropped.entries);
  const auto counted = ReadCompanionState();
  ASSERT_TRUE(counted.has_value());
  EXPECT_EQ(counted->droppedRequests, 1u);
  EXPECT_EQ(counted->droppedMegabytes, 1024u);
  std::printf("    a run %llu ms, a request dropped in the cooldown %llu ms\n",
              static_cast<unsigned long long>(first.elapsedMs),
              static_cast<unsigned long long>(dropped.elapsedMs));

  // Once it is over, the next run reports what was dropped and starts another cooldown.
  ASSERT_EQ(EndCompanionCooldown(), ERROR_SUCCESS);
  const CompanionRun next = RunCompanion(companion, L"1024");
  EXPECT_EQ(next.result.exitCode, 1u) << next.result.Describe();
  ASSERT_EQ(next.entries.size(), 1u) << Describe(next.entries);
  EXPECT_EQ(DroppedBefore(next.entries[0]), (RequestCount{1, 1024})) << next.entries[0].text;
  const auto after = ReadCompanionState();
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->droppedRequests, 0u);
  EXPECT_GT(after->cooldownUntil, NowMs());
}

}  // namespace
}  // namespace calvera::e2e
