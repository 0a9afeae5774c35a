// The running service fed settings of every wrong type, with empty or oversized data and with
// extreme values. It must keep running, read a value of the wrong type as its default, decide
// as the model of the decision says (seen in the stand-in companion's starts), write nothing
// but its update stamp and log no failure.
//
// One service runs through all cases. A case's values are put in place behind a fence that no
// tick launches behind: MemoryMaintain -1, which no memory reading is at or below, written
// first and replaced last. The tick reads MemoryMaintain before every other value, so a tick
// that reads the case's MemoryMaintain finds all its other values in place, and one that read
// the fence launches nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "e2e/support/event_log_channel.h"
#include "e2e/support/installed_service.h"
#include "e2e/support/machine.h"
#include "e2e/support/processes.h"
#include "e2e/support/text.h"
#include "e2e/support/tick_witness.h"
#include "support/decision_model.h"

namespace calvera::e2e {
namespace {

using test_support::DecisionModel;
using test_support::TickDecision;
using test_support::TickReadings;
using Contents = SettingsKey::Contents;

constexpr Milliseconds kTickTimeout(20000);
constexpr wchar_t kFence[] = L"MemoryMaintain";

// What the case's settings must lead to; the amounts of a run come from the model.
enum class Outcome {
  kNone,             // no run
  kRun,              // a run on every tick that finds memory low
  kRunAndStamp,      // a run, and the update stamp written
  kDependsOnLoad,    // the processor gate decides; only the service's health counts
  kDependsOnMemory,  // the level by default decides, by the memory available now
};

struct HostileCase {
  std::string name;
  Contents values;
  Outcome outcome;
  bool afterRun = false;  // a run just before: the period starts from it
};

RegistryValue Dword(std::uint32_t value) {
  return {REG_DWORD, DwordData(value)};
}

// "MemoryMaintain=100 ProcessorLimit=0": REG_DWORD values.
Contents Dwords(const std::string& pairs) {
  Contents contents;
  std::size_t at = 0;
  while (at < pairs.size()) {
    std::size_t end = pairs.find(' ', at);
    if (end == std::string::npos)
      end = pairs.size();
    const std::string pair = pairs.substr(at, end - at);
    const std::size_t equals = pair.find('=');
    contents[Utf16(pair.substr(0, equals))] =
        Dword(static_cast<std::uint32_t>(std::strtol(pair.c_str() + equals + 1, nullptr, 0)));
    at = end + 1;
  }
  return contents;
}

Contents With(Contents base, const std::wstring& name, const RegistryValue& value) {
  base[name] = value;
  return base;
}

const std::string kBase = "MemoryMaintain=100 MemoryFree=1 ProcessorLimit=0 ExecutePeriod=0";

// The context each setting is tried in: the other values that make it decide the outcome.
Contents Context(const std::string& setting) {
  if (setting == "MemoryMaintain")
    return Dwords("MemoryFree=1 ProcessorLimit=0 ExecutePeriod=0");
  if (setting == "MemoryFree")
    return Dwords("MemoryMaintain=100 ProcessorLimit=0 ExecutePeriod=0");
  if (setting == "ProcessorLimit")
    return Dwords(kBase + " ProcessorTrigger=-1");
  if (setting == "ProcessorTrigger")
    return Dwords("MemoryMaintain=100 MemoryFree=1 ExecutePeriod=0 ProcessorLimit=1");
  if (setting == "FullScreenCheck")
    return Dwords(kBase + " FullScreen=1");
  if (setting == "ExecutePeriod")
    return Dwords("MemoryMaintain=100 MemoryFree=1 ProcessorLimit=0");
  if (setting == "LoadCalvera")
    return Dwords(kBase + " DefragMemory=0");
  if (setting == "DefragMemory")
    return Dwords(kBase + " LoadCalvera=0");
  return Dwords(kBase);  // BatteryCheck, FullScreen, Updated
}

// The wrong forms of a number: each must read as the default.
struct WrongForm {
  const char* name;
  RegistryValue (*make)(std::int32_t digits);
};
const WrongForm kWrongForms[] = {
    {"RegSzDigits",
     [](std::int32_t n) {
       return RegistryValue{REG_SZ, Utf16Data(std::to_wstring(n) + L'\0')};
     }},
    {"RegBinaryOfTheDword",
     [](std::int32_t n) {
       return RegistryValue{REG_BINARY, DwordData(static_cast<std::uint32_t>(n))};
     }},
    {"RegQword",
     [](std::int32_t n) {
       return RegistryValue{REG_QWORD,
                            QwordData(static_cast<std::uint64_t>(static_cast<std::int64_t>(n)))};
     }},
    {"RegMultiSzDigits",
     [](std::int32_t n) {
       return RegistryValue{REG_MULTI_SZ, Utf16Data(std::to_wstring(n) + L'\0' + L'\0')};
     }},
    {"EmptyRegSz",
     [](std::int32_t) {
       return RegistryValue{REG_SZ, {}};
     }},
    {"RegDwordOfEightBytes",
     [](std::int32_t n) {
       return RegistryValue{REG_DWORD,
                            QwordData(static_cast<std::uint64_t>(static_cast<std::int64_t>(n)))};
     }},
};

std::vector<HostileCase> Cases() {
  std::vector<HostileCase> cases;
  cases.push_back({"BaseSettings", Dwords(kBase), Outcome::kRun});

  // Settings whose default lets a run start are tried together, since any one of them misread
  // stops the run or changes its amounts; their defaults free 60 %. BatteryCheck cannot show
  // it (Wine reports no battery), nor ProcessorTrigger (only the processor load would tell 85
  // from -1), but they are read on every tick all the same. The others one by one, each with
  // digits that, read as a number, would decide otherwise.
  const std::pair<const char*, std::int32_t> together[] = {
      {"MemoryFree", 1},   {"FullScreen", 1},        {"LoadCalvera", 0},
      {"BatteryCheck", 1}, {"ProcessorTrigger", -1}, {"Updated", 1}};
  struct Alone {
    const char* setting;
    std::int32_t digits;
    Outcome outcome;
    bool afterRun;
  };
  const Alone alone[] = {
      {"MemoryMaintain", 100, Outcome::kDependsOnMemory, false},
      {"ProcessorLimit", 0, Outcome::kNone, false},
      {"FullScreenCheck", 0, Outcome::kNone, false},
      {"DefragMemory", 0, Outcome::kRun, false},
      {"ExecutePeriod", 0, Outcome::kNone, true},  // the default 5 minutes from the run just made
  };
  for (const WrongForm& form : kWrongForms) {
    Contents values = Dwords("MemoryMaintain=100 ProcessorLimit=0 ExecutePeriod=0 DefragMemory=0");
    for (const auto& [setting, digits] : together)
      values[Utf16(setting)] = form.make(digits);
    cases.push_back(
        {std::string(form.name) + "_ForTheSettingsWhoseDefaultsRun", values, Outcome::kRun});
    for (const Alone& one : alone) {
      cases.push_back({std::string(one.setting) + "_As" + form.name,
                       With(Context(one.setting), Utf16(one.setting), form.make(one.digits)),
                       one.outcome, one.afterRun});
    }
  }

  // Extreme DWORDs, and a REG_DWORD without data, which reads as 0.
  const std::pair<const char*, RegistryValue> extremes[] = {
      {"0", Dword(0)},
      {"0x7FFFFFFF", Dword(0x7FFFFFFF)},
      {"0x80000000", Dword(0x80000000)},
      {"0xFFFFFFFF", Dword(0xFFFFFFFF)},
      {"ARegDwordWithoutData", RegistryValue{REG_DWORD, {}}}};
  using O = Outcome;
  const std::pair<const char*, std::array<Outcome, 5>> decisions[] = {
      {"MemoryMaintain", {O::kNone, O::kRun, O::kNone, O::kNone, O::kNone}},
      {"MemoryFree", {O::kRun, O::kRun, O::kRun, O::kRun, O::kRun}},
      {"ProcessorLimit", {O::kRun, O::kNone, O::kNone, O::kNone, O::kRun}},
      {"ProcessorTrigger", {O::kDependsOnLoad, O::kRun, O::kNone, O::kNone, O::kDependsOnLoad}},
      {"BatteryCheck", {O::kRun, O::kRun, O::kRun, O::kRun, O::kRun}},
      {"FullScreen", {O::kRun, O::kNone, O::kNone, O::kNone, O::kRun}},
      {"FullScreenCheck", {O::kRun, O::kNone, O::kNone, O::kNone, O::kRun}},
      {"ExecutePeriod", {O::kRun, O::kNone, O::kRun, O::kRun, O::kRun}},
      {"LoadCalvera", {O::kNone, O::kRun, O::kRun, O::kRun, O::kNone}},
      {"DefragMemory", {O::kNone, O::kRun, O::kRun, O::kRun, O::kNone}},
      {"Updated", {O::kRun, O::kRunAndStamp, O::kRunAndStamp, O::kRunAndStamp, O::kRun}},
  };
  for (const auto& [setting, outcomes] : decisions) {
    for (std::size_t i = 0; i < std::size(extremes); ++i) {
      cases.push_back({std::string(setting) + "_" + extremes[i].first,
                       With(Context(setting), Utf16(setting), extremes[i].second), outcomes[i]});
    }
  }

  // The stamp replaces an UpdatedDate of another type with its text.
  cases.push_back(
      {"Updated1OverAnUpdatedDateOfRegBinary",
       With(Dwords(kBase + " Updated=1"), L"UpdatedDate", RegistryValue{REG_BINARY, {1, 2}}),
       Outcome::kRunAndStamp});
  return cases;
}

std::string Shown(const std::vector<std::int64_t>& amounts) {
  std::string text;
  for (const std::int64_t amount : amounts)
    text += " " + std::to_string(amount);
  return text.empty() ? " none" : text;
}

class HostileSettings : public testing::TestWithParam<HostileCase> {
 protected:
  static void SetUpTestSuite() {
    WaitForUptimeGate();
    errorsMark_ = EventLogChannel::Session().Mark();
    service_ = new ScopedInstalledService(L"Calvera Hostile Settings");
    if (!testing::Test::HasFailure()) {
      const auto installed = service_->Install();
      EXPECT_TRUE(installed);
      const auto started = installed ? service_->Start() : testing::AssertionFailure();
      EXPECT_TRUE(started);
      EXPECT_TRUE(started && service_->ServiceProcesses().back() != 0)
          << "the service process is found";
    }
    lastRunSeconds_ = 0;
  }
  static void TearDownTestSuite() {
    EXPECT_TRUE(service_->Stop());
    const auto errors = EventLogChannel::Session().ErrorsSince(errorsMark_);
    EXPECT_TRUE(errors.empty()) << "event-log errors:" << Describe(errors);
    delete service_;
    service_ = nullptr;
  }

  static const SettingsKey& Settings() { return service_->Settings(); }

  // Raises the fence, then waits until a tick has begun behind it, so that every earlier tick
  // has ended, and until their companions have ended and so recorded their starts.
  static testing::AssertionResult Fence() {
    if (Settings().WriteDword(kFence, 0xFFFFFFFF) != ERROR_SUCCESS)
      return testing::AssertionFailure() << "cannot write the fence";
    if (!TickWitness(Settings()).WaitForTickBegun(Deadline::After(kTickTimeout)))
      return testing::AssertionFailure() << "no tick within " << kTickTimeout.count() << " ms";
    if (!service_->WaitForCompanionsEnded(Deadline::After(kTickTimeout)))
      return testing::AssertionFailure() << "companions still run";
    return testing::AssertionSuccess();
  }

  // Behind the fence: the key holds exactly `values`, MemoryMaintain written (or removed) last.
  static testing::AssertionResult PutInPlace(const Contents& values) {
    for (const auto& [name, value] : Settings().Snapshot()) {
      if (name != kFence && !values.count(name) && Settings().Delete(name) != ERROR_SUCCESS)
        return testing::AssertionFailure() << "cannot delete " << Utf8(name);
    }
    if (Settings().WriteAll(values, kFence) != ERROR_SUCCESS)
      return testing::AssertionFailure() << "cannot write the values";
    if (!values.count(kFence) && Settings().Delete(kFence) != ERROR_SUCCESS)
      return testing::AssertionFailure() << "cannot lift the fence";
    return testing::AssertionSuccess();
  }

  // The decision of the next tick with these values, at the given processor load.
  static TickDecision Expected(const Contents& values, double load) {
    TickReadings readings;
    for (int i = 0; i < test_support::kSettingCount; ++i) {
      const auto it = values.find(Utf16(test_support::kSettingNames[i]));
      readings.settings[i] =
          DwordReading(it == values.end() ? std::nullopt : std::optional(it->second));
    }
    const MemoryReading memory = ReadMemory();
    readings.firstTotal = readings.total = memory.total;
    readings.available = memory.available;
    readings.firstClock = readings.secondClock = NowMs();
    readings.acLineStatus = AcLineStatus();
    DecisionModel model;
    model.SetServiceStarted();
    model.SetLastExecuteTime(lastRunSeconds_);
    return model.Decide(readings, [load] { return load; });
  }

  // The latest start recorded, as the seconds the run began.
  static void NoteLastRun(const CompanionLog& log) {
    for (const CompanionRecord& record : log.Records()) {
      if (record.start) {
        lastRunSeconds_ =
            std::max(lastRunSeconds_, static_cast<std::int64_t>((record.tickMs + 500) / 1000));
      }
    }
  }

  static inline ScopedInstalledService* service_ = nullptr;
  static inline std::uint64_t errorsMark_ = 0;
  static inline std::int64_t lastRunSeconds_ = 0;
};

// The key holds what the case wrote, apart from the update stamp where `stamped`: Updated
// cleared to 0 and UpdatedDate the local time in seconds.
testing::AssertionResult HoldsOnly(const Contents& written, Contents actual, bool stamped) {
  if (stamped) {
    const auto date = actual.find(L"UpdatedDate");
    if (date == actual.end() || date->second.type != REG_SZ)
      return testing::AssertionFailure() << "no UpdatedDate text";
    std::wstring text(date->second.data.size() / 2, L'\0');
    std::memcpy(text.data(), date->second.data.data(), text.size() * 2);
    text.resize(wcsnlen(text.c_str(), text.size()));
    const std::int64_t now = LocalSecondsSince1970();
    const std::int64_t stamp = std::wcstoll(text.c_str(), nullptr, 10);
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos ||
        stamp <= now - 120 || stamp > now + 5) {
      return testing::AssertionFailure()
             << "UpdatedDate \"" << Utf8(text) << "\", local time " << now;
    }
    actual.erase(date);
    Contents expected = written;
    expected.erase(L"UpdatedDate");
    expected[L"Updated"] = Dword(0);
    return HoldsOnly(expected, actual, false);
  }
  std::string differences;
  for (const auto& [name, value] : written) {
    const auto it = actual.find(name);
    if (it == actual.end())
      differences += "\n  gone: " + Describe(name, value);
    else if (!(it->second == value))
      differences += "\n  changed: " + Describe(name, value) + " to " + Describe(name, it->second);
  }
  for (const auto& [name, value] : actual) {
    if (!written.count(name))
      differences += "\n  added: " + Describe(name, value);
  }
  if (differences.empty())
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << differences;
}

TEST_P(HostileSettings, DecidesAsTheModelAndStaysHealthy) {
  ASSERT_TRUE(service_ != nullptr && !service_->ServiceProcesses().empty())
      << "the service does not run";
  const HostileCase& c = GetParam();
  const CompanionLog log = service_->Companions();
  ASSERT_TRUE(Fence());
  if (c.afterRun) {
    const std::size_t before = log.Mark();
    ASSERT_TRUE(PutInPlace(Dwords(kBase)));
    ASSERT_TRUE(log.WaitForStarts(before, 1, Deadline::After(kTickTimeout)))
        << "no run before the case";
    ASSERT_TRUE(Fence());
    NoteLastRun(log);
  }

  const std::size_t mark = log.Mark();
  const std::uint64_t errors = EventLogChannel::Session().Mark();
  const TickDecision idle = Expected(c.values, 0.0);
  const TickDecision busy = Expected(c.values, 100.0);
  ASSERT_TRUE(PutInPlace(c.values));

  // The model and the case agree on what decides.
  switch (c.outcome) {
    case Outcome::kNone:
      ASSERT_FALSE(idle.run || busy.run) << "the model starts a run";
      break;
    case Outcome::kRun:
    case Outcome::kRunAndStamp:
      ASSERT_TRUE(idle.run && busy.run) << "the model starts no run";
      break;
    case Outcome::kDependsOnLoad:
      ASSERT_NE(idle.run, busy.run) << "the model does not depend on the processor load";
      break;
    case Outcome::kDependsOnMemory:
      ASSERT_EQ(idle.run, busy.run);
      break;
  }
  const bool run = c.outcome != Outcome::kDependsOnLoad && idle.run;

  // The decision shows: a start, or a tick that began after the values were in place and so
  // read them (its launches, had there been any, are counted after the fence below).
  bool witnessed = false;
  if (run) {
    ASSERT_TRUE(log.WaitForStarts(mark, 1, Deadline::After(kTickTimeout))) << "no start";
  } else {
    ASSERT_TRUE(TickWitness(Settings()).WaitForTickBegun(Deadline::After(kTickTimeout)))
        << "no tick";
    witnessed = true;
  }

  // Health: running, nothing logged, nothing written but the stamp (the service's own, or
  // the one the witness asked for).
  ServiceController controller = service_->Controller();
  EXPECT_EQ(StateName(controller.State()), "RUNNING");
  EXPECT_FALSE(
      WaitForProcessEnd(service_->ServiceProcesses().back(), Deadline::After(Milliseconds(0))))
      << "the service process has ended";
  Contents written = c.values;
  if (witnessed)
    written[L"Updated"] = Dword(1);
  EXPECT_TRUE(
      HoldsOnly(written, Settings().Snapshot(), c.outcome == Outcome::kRunAndStamp || witnessed));
  const auto logged = EventLogChannel::Session().ErrorsSince(errors);
  EXPECT_TRUE(logged.empty()) << "event-log errors:" << Describe(logged);

  ASSERT_TRUE(Fence());
  std::vector<std::int64_t> amounts = log.StartedAmountsSince(mark);
  NoteLastRun(log);
  if (c.outcome == Outcome::kDependsOnLoad)
    return;
  if (!run) {
    EXPECT_TRUE(amounts.empty()) << "starts:" << Shown(amounts);
    return;
  }
  // One or more whole runs, each the model's chunks.
  const std::vector<std::int64_t> chunks = test_support::Amounts(idle.chunks);
  ASSERT_TRUE(!amounts.empty() && amounts.size() % chunks.size() == 0)
      << "starts:" << Shown(amounts) << "; a run:" << Shown(chunks);
  std::vector<std::int64_t> expected;
  for (std::size_t i = 0; i < amounts.size() / chunks.size(); ++i)
    expected.insert(expected.end(), chunks.begin(), chunks.end());
  std::sort(amounts.begin(), amounts.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Shown(amounts), Shown(expected));
}

INSTANTIATE_TEST_SUITE_P(,
                         HostileSettings,
                         testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<HostileCase>& param) {
                           return param.param.name;
                         });

}  // namespace
}  // namespace calvera::e2e
