#include "companion/process_selection.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace calvera::companion {
namespace {

using platform::ProcessRecord;

constexpr std::uint64_t kMb = 1048576;
constexpr std::int64_t kSecond = 10'000'000;
constexpr std::int64_t kNow = 133'500'000'000'000'000;

// An idle, old, large process; each case changes what it is about.
ProcessRecord Process(std::uint32_t id, std::u16string name = u"app.exe") {
  return ProcessRecord{id, 100, kNow - 3600 * kSecond, 5000, 64 * kMb, std::move(name)};
}

std::vector<std::uint32_t> Ids(const Selection& selection) {
  std::vector<std::uint32_t> ids;
  for (const Candidate& candidate : selection.candidates)
    ids.push_back(candidate.identity.processId);
  return ids;
}

SelectionRules Rules() {
  SelectionRules rules;
  rules.now = kNow;
  return rules;
}

TEST(ProcessSelectionTest, EachProcessIsCountedUnderTheFirstReasonThatApplies) {
  struct Case {
    const char* what;
    ProcessRecord process;
    void (*change)(ProcessRecord& first, SelectionRules& rules);
    std::optional<SkipReason> reason;
  } cases[] = {
      {"idle and large", Process(8), nullptr, std::nullopt},
      {"the idle process", Process(0), nullptr, SkipReason::kProtected},
      {"the system process", Process(4), nullptr, SkipReason::kProtected},
      {"a critical process", Process(8, u"LSASS.exe"), nullptr, SkipReason::kProtected},
      {"its own or the service's id", Process(8),
       [](ProcessRecord&, SelectionRules& r) { r.protectedIds = {8}; }, SkipReason::kProtected},
      {"a virtual machine host", Process(8, u"vmmem"), nullptr, SkipReason::kVirtualMachine},
      {"excluded by name", Process(8, u"Chrome.exe"),
       [](ProcessRecord&, SelectionRules& r) {
         r.excludedNames = {u"x.exe", u"chrome"};
       },
       SkipReason::kExcluded},
      {"excluded but protected", Process(8, u"csrss.exe"),
       [](ProcessRecord&, SelectionRules& r) { r.excludedNames = {u"csrss.exe"}; },
       SkipReason::kProtected},
      {"one byte under 16 MB", ProcessRecord{8, 0, kNow - 3600 * kSecond, 0, 16 * kMb - 1, u"a"},
       nullptr, SkipReason::kSmall},
      {"exactly 16 MB", ProcessRecord{8, 0, kNow - 3600 * kSecond, 0, 16 * kMb, u"a"}, nullptr,
       std::nullopt},
      {"just under a minute old", ProcessRecord{8, 0, kNow - 60 * kSecond + 1, 0, 64 * kMb, u"a"},
       nullptr, SkipReason::kYoung},
      {"exactly a minute old", ProcessRecord{8, 0, kNow - 60 * kSecond, 0, 64 * kMb, u"a"}, nullptr,
       std::nullopt},
      {"not in the first snapshot", Process(8),
       [](ProcessRecord& first, SelectionRules&) { first.processId = 12; }, SkipReason::kYoung},
      {"its id was another process's then", Process(8),
       [](ProcessRecord& first, SelectionRules&) { first.creationTime -= 1; }, SkipReason::kYoung},
      {"trimmed a while ago", Process(8),
       [](ProcessRecord& first, SelectionRules& r) {
         r.recentlyTrimmed = {{7, 0}, {8, first.creationTime}, {9, 0}};
       },
       SkipReason::kRecentlyTrimmed},
      {"an earlier process of its id was trimmed", Process(8),
       [](ProcessRecord& first, SelectionRules& r) {
         r.recentlyTrimmed = {{8, first.creationTime - 1}};
       },
       std::nullopt},
      {"used the processor", Process(8),
       [](ProcessRecord& first, SelectionRules&) { first.processorTime -= 1; }, SkipReason::kBusy},
  };
  for (const Case& c : cases) {
    ProcessRecord first = c.process;
    SelectionRules rules = Rules();
    if (c.change != nullptr)
      c.change(first, rules);
    const Selection selection = SelectIdleProcesses({&first, 1}, {&c.process, 1}, rules);
    if (c.reason) {
      EXPECT_TRUE(selection.candidates.empty()) << c.what;
      EXPECT_EQ(selection.skipped[*c.reason], 1u) << c.what;
      EXPECT_EQ(selection.skipped.Total(), 1u) << c.what;
    } else {
      EXPECT_EQ(Ids(selection), std::vector<std::uint32_t>{8}) << c.what;
      EXPECT_EQ(selection.skipped.Total(), 0u) << c.what;
    }
  }
}

TEST(ProcessSelectionTest, CandidatesGoLargestFirstAndEqualOnesById) {
  std::vector<ProcessRecord> snapshot;
  for (const auto& [id, megabytes] : std::vector<std::pair<std::uint32_t, std::uint64_t>>{
           {20, 100}, {8, 300}, {16, 100}, {12, 900}, {24, 17}}) {
    ProcessRecord process = Process(id);
    process.privateWorkingSetBytes = megabytes * kMb;
    snapshot.push_back(process);
  }
  const Selection selection = SelectIdleProcesses(snapshot, snapshot, Rules());
  EXPECT_EQ(Ids(selection), (std::vector<std::uint32_t>{12, 8, 16, 20, 24}));
  EXPECT_EQ(selection.candidates[0].imageName, u"app.exe");
  EXPECT_EQ(selection.candidates[0].privateWorkingSetBytes, 900 * kMb);
  EXPECT_EQ(selection.candidates[0].identity.creationTime, kNow - 3600 * kSecond);
}

TEST(ProcessSelectionTest, TheServiceIsKnownAsTheParentThatStartedTheCompanionOrByTheManager) {
  const ProcessRecord service{600, 500, kNow - 7200 * kSecond, 0, 20 * kMb, u"Calvera.exe"};
  const ProcessRecord own{900, 600, kNow - kSecond, 0, 2 * kMb, u"CalveraDefrag.exe"};
  const ProcessRecord shell{600, 1, 0, 0, 0, u"cmd.exe"};
  const ProcessRecord elsewhere{700, 500, kNow - 7200 * kSecond, 0, 20 * kMb, u"calvera"};
  struct Case {
    const char* what;
    std::vector<ProcessRecord> snapshot;
    std::uint32_t managerAnswer;
    bool managerAsked;
    std::vector<std::uint32_t> ids;
  } cases[] = {
      {"started by the service", {service, own}, 600, false, {900, 600}},
      {"started by another program, no service running", {shell, own}, 0, false, {900}},
      {"started by hand, the service running", {shell, elsewhere, own}, 700, true, {900, 700}},
      {"started by hand, the manager not answering", {shell, elsewhere, own}, 0, true, {900}},
      // The parent's id names a newer process: the one that started the companion is gone.
      {"a parent id reused since",
       {ProcessRecord{600, 1, kNow, 0, 0, u"Calvera.exe"}, own},
       0,
       true,
       {900}},
      {"not in the snapshot itself", {}, 600, false, {900}},
  };
  for (const Case& c : cases) {
    bool asked = false;
    EXPECT_EQ(CalveraProcessIds(c.snapshot, 900,
                                [&] {
                                  asked = true;
                                  return c.managerAnswer;
                                }),
              c.ids)
        << c.what;
    EXPECT_EQ(asked, c.managerAsked) << c.what;
  }
}

}  // namespace
}  // namespace calvera::companion
