// The maintenance tick over a run of ticks on a machine that misbehaves in every way the tick
// can see: any stored settings (absent, any DWORD, short or long DWORDs, wrong types, changed
// between ticks), any memory readings (the first and second total and the available memory
// may differ within a tick; the probe may fail; see LaunchableTotal for the one limit), any
// processor counters, any power status or a failing query, a millisecond count that jumps or
// runs backwards, also between the two reads of one tick, an update stamp at any local time,
// and the service starting at any tick.
//
// Every tick is checked against the model of the decision in support/decision_model.h, which
// the end-to-end tests share, fed the processor load by a model of the sampler kept here: the
// companion launches are exactly the model's chunks (decimal, at most 1024 each, in order,
// summing to the free megabytes when those are positive, one launch of a non-positive amount),
// there are launches exactly when a run starts, LastExecuteTime moves only then, nothing runs
// or is measured before the service has started, the probes, the power status and the clock
// are asked exactly when the decision needs them, and no key or library is left open.
//
// Input, front to back (missing bytes read as 0):
//   settings  10 × (kind 1 byte, value 4 bytes), in the order of the model's kSettingNames;
//             see StoredSetting
//   memory    first total, second total, available: 3 × 8 bytes
//   processor idle time 8 bytes, system time 8 bytes, processors 1 byte
//   power     1 byte status, 1 byte (bit 0: the query fails)
//   clock     8 bytes, the millisecond count
//   ticks     up to kMaxTicks records: control 1 byte, clock 1 byte, then what control names:
//             bit 0 the service has started (it stays started)
//             bit 1 one setting changes: index 1 byte, kind 1 byte, value 4 bytes
//             bit 2 new memory readings: 3 × 8 bytes
//             bit 3 new processor counters: 8 + 8 + 1 bytes
//             bit 4 new power status: 2 bytes as above
//             bit 5 Updated is set, and the local time follows: 8 × 2 bytes (SYSTEMTIME)
//             bit 6 the memory query fails on this tick
//             bit 7 processor query failure: 1 byte, bits 0-2 fail classes 0, 3, 2
//             clock byte, low 2 bits: 0 advance both reads by (byte >> 2) s, 1 both reads at
//             an 8-byte count, 2 the two reads at two 8-byte counts, 3 back by (byte >> 2) min
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/stored_settings.h"
#include "fake/fake_platform.h"
#include "fake/forwarding.h"
#include "fuzz_support.h"
#include "maintenance/maintenance_tick.h"
#include "platform/text.h"
#include "support/decision_model.h"

namespace calvera::fuzz {
namespace {

using platform::RegistryRoot;
using test_support::kSettingCount;

constexpr RegistryRoot kRoot = RegistryRoot::kLocalMachine;
constexpr int kMaxTicks = 24;
constexpr platform::WindowHandle kOwner{0x5150};
constexpr char16_t kCompanion[] = u"C:\\Program Files\\Calvera\\CalveraDefrag.exe";

// The name of the model's setting `index` as the registry holds it.
const std::u16string& SettingName(int index) {
  static const std::array<std::u16string, kSettingCount> names = [] {
    std::array<std::u16string, kSettingCount> utf16;
    for (int i = 0; i < kSettingCount; ++i)
      utf16[i] = FromAscii(test_support::kSettingNames[i]);
    return utf16;
  }();
  return names[index];
}

std::uint64_t Uint64(InputReader& input) {
  const std::uint64_t low = input.Uint32();
  return low | std::uint64_t{input.Uint32()} << 32;
}

// --- The machine as the input scripts it ------------------------------------------------

using FakeRegistry = fake::FakeRegistry;

// The registry value of one setting, or none; `dword` is what a reader that accepts it gets.
struct Stored {
  std::optional<FakeRegistry::Value> value;
  std::optional<std::int32_t> dword;
};

// kind % 8: 0 absent; 1 and 7 a REG_DWORD; 2 a REG_DWORD of (kind >> 3) % 4 bytes, read
// zero-padded; 3 the value's decimal text as REG_SZ; 4 REG_BINARY and 5 REG_QWORD holding the
// value; 6 a REG_DWORD of 5 bytes. Only DWORDs of at most 4 bytes read as a number.
Stored StoredSetting(std::uint8_t kind, std::uint32_t value) {
  const auto bytes = [value](std::size_t count) {
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < count; ++i)
      data.push_back(i < 4 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
    return data;
  };
  switch (kind % 8) {
    case 0:
      return {};
    case 2: {
      const std::size_t size = (kind >> 3) % 4;
      const std::uint32_t mask = size == 0 ? 0 : 0xFFFFFFFFu >> (32 - 8 * size);
      return {FakeRegistry::Value{platform::kRegDword, bytes(size)},
              static_cast<std::int32_t>(value & mask)};
    }
    case 3: {
      const std::u16string text = ToDecimal(static_cast<std::int32_t>(value));
      std::vector<std::uint8_t> data;
      for (const char16_t unit : text) {
        data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        data.push_back(static_cast<std::uint8_t>(unit >> 8));
      }
      data.insert(data.end(), {0, 0});
      return {FakeRegistry::Value{platform::kRegSz, data}, std::nullopt};
    }
    case 4:
      return {FakeRegistry::Value{platform::kRegBinary, bytes(4)}, std::nullopt};
    case 5:
      return {FakeRegistry::Value{platform::kRegQword, bytes(8)}, std::nullopt};
    case 6:
      return {FakeRegistry::Value{platform::kRegDword, bytes(5)}, std::nullopt};
    default:
      return {FakeRegistry::Value{platform::kRegDword, bytes(4)}, static_cast<std::int32_t>(value)};
  }
}

struct Memory {
  std::uint64_t firstTotal = 0;
  std::uint64_t secondTotal = 0;
  std::uint64_t available = 0;
};

// The total that the level and the amount are taken from, below 2^63 kept under 8 TiB: each
// of its megabytes can be a launch, and a few million launches take seconds a tick. Levels
// beyond 64 bits stay within reach (2^43 bytes times 21474836 percent), and so do totals that
// read as 0.
std::uint64_t LaunchableTotal(std::uint64_t total) {
  constexpr std::uint64_t kMask = (std::uint64_t{1} << 43) - 1;
  return total >= (std::uint64_t{1} << 63) ? total : total & kMask;
}

Memory ReadMemory(InputReader& input) {
  Memory memory;
  memory.firstTotal = Uint64(input);
  memory.secondTotal = LaunchableTotal(Uint64(input));
  memory.available = Uint64(input);
  return memory;
}

struct Counters {
  std::int64_t idleTime = 0;
  std::int64_t systemTime = 0;
  std::uint8_t processors = 0;
};

Counters ReadCounters(InputReader& input) {
  Counters counters;
  counters.idleTime = static_cast<std::int64_t>(Uint64(input));
  counters.systemTime = static_cast<std::int64_t>(Uint64(input));
  counters.processors = input.Byte();
  return counters;
}

std::optional<std::uint8_t> ReadPower(InputReader& input) {
  const std::uint8_t status = input.Byte();
  return (input.Byte() & 1) != 0 ? std::nullopt : std::optional<std::uint8_t>(status);
}

// Hands out the scripted memory readings, one per load of Kernel32.dll: the tick's first
// total, its second total, then its available memory.
class ScriptedMemory : public fake::ForwardingSystemLibraries {
 public:
  explicit ScriptedMemory(fake::FakeSystemLibraries& inner)
      : ForwardingSystemLibraries(inner), fake_(inner) {}

  void NextTick(const Memory& memory) {
    memory_ = memory;
    loads_ = 0;
  }

  platform::LibraryHandle Load(const char16_t* name) override {
    if (name != nullptr && EqualIgnoringAsciiCase(name, u"Kernel32.dll")) {
      const std::uint64_t total = loads_ == 0 ? memory_.firstTotal : memory_.secondTotal;
      fake_.SetMemoryStatus(total, memory_.available);
      ++loads_;
    }
    return inner().Load(name);
  }

 private:
  fake::FakeSystemLibraries& fake_;
  Memory memory_;
  int loads_ = 0;
};

// The millisecond count: the tick's first read gets `first`, every later one `second`.
class ScriptedClock : public fake::ForwardingSystemInformation {
 public:
  using ForwardingSystemInformation::ForwardingSystemInformation;

  void NextTick(std::uint64_t first, std::uint64_t second) {
    first_ = first;
    second_ = second;
    reads_ = 0;
  }
  int Reads() const { return reads_; }

  std::uint64_t MillisecondsSinceStart() override { return reads_++ == 0 ? first_ : second_; }

 private:
  std::uint64_t first_ = 0;
  std::uint64_t second_ = 0;
  int reads_ = 0;
};

// Launch parameters in order, each with how many times it came in a row: a bounded amount can
// still be two million launches of "1024".
using Launches = std::vector<std::pair<std::u16string, std::int64_t>>;

void Append(Launches& launches, const std::u16string& parameters) {
  if (!launches.empty() && launches.back().first == parameters)
    ++launches.back().second;
  else
    launches.emplace_back(parameters, 1);
}

// Passes everything to the fake but the shell, whose calls it checks and counts as they come:
// the fake keeps every call, and a run may have millions.
class CountingShell : public fake::ForwardingProcess {
 public:
  using ForwardingProcess::ForwardingProcess;

  // The launches since the last call, and whether each went to the companion as it should.
  Launches TakeLaunches() { return std::exchange(launches_, {}); }
  bool AllWellFormed() const { return wellFormed_; }

  std::intptr_t ShellExecuteFile(platform::WindowHandle owner,
                                 const char16_t* verb,
                                 const char16_t* file,
                                 const char16_t* parameters,
                                 const char16_t* directory,
                                 std::int32_t show) override {
    wellFormed_ = wellFormed_ && owner == kOwner && verb != nullptr &&
                  std::u16string_view(verb) == u"open" && file != nullptr &&
                  std::u16string_view(file) == kCompanion && parameters != nullptr &&
                  directory == nullptr && show == platform::kSwShow;
    Append(launches_, parameters == nullptr ? u"(null)" : parameters);
    return 42;
  }

 private:
  Launches launches_;
  bool wellFormed_ = true;
};

// --- The expectations -------------------------------------------------------------------

// What a probe yields for a field: 0 on failure and for 2^63 or more.
std::int64_t Probe(std::uint64_t field, bool fails) {
  return fails || field > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
             ? 0
             : static_cast<std::int64_t>(field);
}

// The processor load sampler: 0 without a previous sample and on every failure, which keeps
// the stored sample. The decision model asks for a load only where the tick samples one.
class ProcessorSampler {
 public:
  double SampleLoad(const Counters& counters, bool queryFails) {
    if (queryFails)
      return 0.0;
    double load = 0.0;
    if (previousIdleTime_ != 0) {
      const double idle =
          static_cast<double>(counters.idleTime) - static_cast<double>(previousIdleTime_);
      const double time =
          static_cast<double>(counters.systemTime) - static_cast<double>(previousSystemTime_);
      if (time == 0.0 || counters.processors == 0)
        return 0.0;
      load = 100.0 - idle / time * 100.0 / counters.processors + 0.5;
      if (std::isnan(load) || load < 0.0)
        load = 0.0;
      if (load > 100.0)
        load = 100.0;
    }
    previousIdleTime_ = counters.idleTime;
    previousSystemTime_ = counters.systemTime;
    return load;
  }

 private:
  std::int64_t previousIdleTime_ = 0;
  std::int64_t previousSystemTime_ = 0;
};

struct Machine {
  Stored settings[kSettingCount];
  Memory memory;
  bool memoryFails = false;
  Counters counters;
  bool processorFails = false;
  std::optional<std::uint8_t> power;
  std::uint64_t firstClock = 0;
  std::uint64_t secondClock = 0;
};

// What the tick reads of the machine, as the model takes it.
test_support::TickReadings Readings(const Machine& m) {
  test_support::TickReadings readings;
  for (int i = 0; i < kSettingCount; ++i)
    readings.settings[i] = m.settings[i].dword;
  readings.firstTotal = Probe(m.memory.firstTotal, m.memoryFails);
  readings.total = Probe(m.memory.secondTotal, m.memoryFails);
  readings.available = Probe(m.memory.available, m.memoryFails);
  readings.firstClock = m.firstClock;
  readings.secondClock = m.secondClock;
  readings.acLineStatus = m.power;
  return readings;
}

// The model's launches as the shell sees them: each amount in decimal.
Launches AsLaunches(const test_support::Chunks& chunks) {
  Launches launches;
  for (const test_support::ChunkRun& run : chunks)
    launches.emplace_back(ToDecimal(run.megabytes), run.times);
  return launches;
}

// The update stamp of a real local time: its seconds since 1970 read as UTC, rounded half to
// even; both neighbours at an exact half, since the day-count arithmetic is floating point.
std::optional<std::pair<std::int64_t, std::int64_t>> StampRange(const platform::LocalTime& t) {
  using namespace std::chrono;
  // chrono's month and day keep one byte of what they are given, so the range comes first.
  if (t.year < 1601 || t.year > 30827 || t.month > 12 || t.day > 31 || t.hour > 23 ||
      t.minute > 59 || t.second > 59 || t.milliseconds > 999) {
    return std::nullopt;
  }
  const year_month_day date{year{t.year}, month{t.month}, day{t.day}};
  if (!date.ok())
    return std::nullopt;
  const std::int64_t seconds = std::int64_t{sys_days(date).time_since_epoch().count()} * 86400 +
                               t.hour * 3600 + t.minute * 60 + t.second;
  if (t.milliseconds == 500)
    return std::pair{seconds, seconds + 1};
  const std::int64_t rounded = seconds + (t.milliseconds > 500 ? 1 : 0);
  return std::pair{rounded, rounded};
}

// Plain decimal: digits without leading zeros, a minus sign only before a non-zero number.
std::optional<std::int64_t> ParseDecimal(const std::u16string& text) {
  std::size_t i = text.size() > 1 && text[0] == u'-' ? 1 : 0;
  if (i == text.size() || (text[i] == u'0' && text.size() > i + 1) || text == u"-0")
    return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9' || value > (INT64_MAX - 9) / 10)
      return std::nullopt;
    value = value * 10 + (text[i] - u'0');
  }
  return text[0] == u'-' ? -value : value;
}

std::string Shown(const Launches& launches) {
  std::string text;
  for (const auto& [parameters, times] : launches)
    text += " " + ToUtf8(parameters) + (times > 1 ? " x" + std::to_string(times) : "");
  return text;
}

std::string Describe(int tick,
                     const test_support::DecisionModel& model,
                     const Machine& m,
                     const test_support::TickDecision& e) {
  std::string text =
      "tick " + std::to_string(tick) + (model.ServiceStarted() ? " started" : "") + "\nsettings:";
  for (int i = 0; i < kSettingCount; ++i) {
    text += " " + std::string(test_support::kSettingNames[i]) + "=" +
            (m.settings[i].value
                 ? (m.settings[i].dword ? std::to_string(*m.settings[i].dword)
                                        : "type" + std::to_string(m.settings[i].value->type))
                 : "-");
  }
  text += "\nmemory " + std::to_string(m.memory.firstTotal) + " " +
          std::to_string(m.memory.secondTotal) + " " + std::to_string(m.memory.available) +
          (m.memoryFails ? " failing" : "") + "\ncounters " + std::to_string(m.counters.idleTime) +
          " " + std::to_string(m.counters.systemTime) + " " +
          std::to_string(m.counters.processors) + (m.processorFails ? " failing" : "") +
          "\npower " + (m.power ? std::to_string(*m.power) : "failing") + "\nclock " +
          std::to_string(m.firstClock) + " " + std::to_string(m.secondClock) + "\nexpected run " +
          std::to_string(e.run) + " chunks";
  text += Shown(AsLaunches(e.chunks));
  return text + "\nlast execute time (model) " + std::to_string(model.LastExecuteTime());
}

// The rules every run's launches keep, whatever the model says; `what` describes the tick.
template <typename What>
void CheckChunks(const Launches& launches, std::int64_t freeMegabytes, const What& what) {
  std::int64_t sum = 0;
  std::int64_t count = 0;
  for (std::size_t i = 0; i < launches.size(); ++i) {
    const auto& [parameters, times] = launches[i];
    const auto amount = ParseDecimal(parameters);
    CALVERA_FUZZ_CHECK(amount.has_value(), what() + "\nlaunched " + Show(parameters));
    CALVERA_FUZZ_CHECK(*amount <= 1024, what());
    // Every chunk but the last is a full one; only a lone chunk may be 0 or negative.
    const bool last = i + 1 == launches.size();
    CALVERA_FUZZ_CHECK(
        last ? (*amount > 0 || (times == 1 && launches.size() == 1)) : *amount == 1024, what());
    sum += *amount * times;
    count += times;
  }
  CALVERA_FUZZ_CHECK(freeMegabytes > 0 ? sum == freeMegabytes : count == 1 && sum == freeMegabytes,
                     what() + "\nsum " + std::to_string(sum));
}

}  // namespace
}  // namespace calvera::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace calvera;
  using namespace calvera::fuzz;
  InputReader input(data, size);

  fake::FakePlatform fake;
  ScriptedMemory memory(fake.libraries);
  ScriptedClock clock(fake.system);
  CountingShell shell(fake.process);
  platform::Platform platform{fake.registry, memory,        clock,          shell,
                              fake.services, fake.eventLog, fake.windowing, fake.resources};
  const std::u16string key = config::StoredSettingsPath(false);
  maintenance::MaintenanceTick tick(platform);
  tick.SetOwnerWindow(kOwner);

  Machine m;
  const auto store = [&](int index, std::uint8_t kind, std::uint32_t value) {
    m.settings[index] = StoredSetting(kind, value);
    if (m.settings[index].value) {
      fake.registry.SetRaw(kRoot, key, SettingName(index), m.settings[index].value->type,
                           m.settings[index].value->data);
    } else {
      fake.registry.DeleteValue(kRoot, key, SettingName(index));
    }
  };
  for (int i = 0; i < kSettingCount; ++i) {
    const std::uint8_t kind = input.Byte();
    store(i, kind, input.Uint32());
  }
  m.memory = ReadMemory(input);
  m.counters = ReadCounters(input);
  m.power = ReadPower(input);
  m.firstClock = m.secondClock = Uint64(input);

  test_support::DecisionModel model;
  ProcessorSampler sampler;
  for (int t = 0; t < kMaxTicks; ++t) {
    const auto control = input.Take(1);
    if (control.empty())
      break;
    const std::uint8_t c = control[0];
    const std::uint8_t clockMode = input.Byte();
    if ((c & 0x01) != 0) {
      model.SetServiceStarted();
      tick.SetServiceStarted();
    }
    if ((c & 0x02) != 0) {
      const int index = input.Byte() % kSettingCount;
      const std::uint8_t kind = input.Byte();
      store(index, kind, input.Uint32());
    }
    if ((c & 0x04) != 0)
      m.memory = ReadMemory(input);
    if ((c & 0x08) != 0)
      m.counters = ReadCounters(input);
    if ((c & 0x10) != 0)
      m.power = ReadPower(input);
    const bool updated = (c & 0x20) != 0;
    platform::LocalTime localTime;
    if (updated) {
      std::uint16_t* const fields[] = {
          &localTime.year, &localTime.month,  &localTime.dayOfWeek, &localTime.day,
          &localTime.hour, &localTime.minute, &localTime.second,    &localTime.milliseconds};
      for (std::uint16_t* field : fields)
        *field = input.Uint16();
      fake.registry.SetDword(kRoot, key, u"Updated", 1);
      fake.system.SetLocalTime(localTime);
    }
    m.memoryFails = (c & 0x40) != 0;
    m.processorFails = false;
    for (const std::int32_t infoClass : {0, 3, 2})
      fake.libraries.SetSystemInformationStatus(infoClass, 0);
    if ((c & 0x80) != 0) {
      const std::uint8_t failing = input.Byte();
      const std::int32_t classes[] = {0, 3, 2};
      for (int bit = 0; bit < 3; ++bit) {
        if ((failing & (1 << bit)) != 0) {
          fake.libraries.SetSystemInformationStatus(
              classes[bit], fake::FakeSystemLibraries::kStatusInvalidInfoClass);
          m.processorFails = true;
        }
      }
    }
    const std::uint64_t step = clockMode >> 2;
    switch (clockMode & 3) {
      case 0:
        m.firstClock = m.secondClock =
            m.secondClock + std::min(step * 1000, UINT64_MAX - m.secondClock);
        break;
      case 1:
        m.firstClock = m.secondClock = Uint64(input);
        break;
      case 2:
        m.firstClock = Uint64(input);
        m.secondClock = Uint64(input);
        break;
      default:
        m.firstClock = m.secondClock = m.secondClock - std::min(m.secondClock, step * 60000);
        break;
    }

    fake.libraries.SetMemoryStatusFails(m.memoryFails);
    fake.libraries.SetProcessorCounters(m.counters.idleTime, m.counters.systemTime,
                                        m.counters.processors);
    fake.system.SetAcLineStatus(m.power);
    memory.NextTick(m.memory);
    clock.NextTick(m.firstClock, m.secondClock);

    const std::int64_t lastBefore = tick.LastExecuteTime();
    const std::size_t memoryCallsBefore = fake.libraries.MemoryStatusCalls();
    const std::size_t samplesBefore = fake.libraries.SystemInformationCalls(0);
    const std::size_t powerBefore = fake.system.PowerStatusQueries();
    const std::size_t writesBefore = fake.registry.SetValueCount();

    const test_support::TickDecision e =
        model.Decide(Readings(m), [&] { return sampler.SampleLoad(m.counters, m.processorFails); });
    const Launches expected = AsLaunches(e.chunks);
    tick.MainTimerTimer();

    // Built only for a failure report.
    const Launches launched = shell.TakeLaunches();
    const auto what = [&] { return Describe(t, model, m, e) + "\nlaunched" + Shown(launched); };
    CALVERA_FUZZ_CHECK(shell.AllWellFormed(), what());
    CALVERA_FUZZ_CHECK(model.ServiceStarted() || launched.empty(), what());
    CALVERA_FUZZ_CHECK(launched.empty() == !e.run, what());
    if (e.run)
      CheckChunks(launched, e.freeMegabytes, what);
    CALVERA_FUZZ_CHECK(launched == expected, what());
    CALVERA_FUZZ_CHECK(tick.LastExecuteTime() == model.LastExecuteTime(),
                       what() + "\nLastExecuteTime " + std::to_string(tick.LastExecuteTime()));
    CALVERA_FUZZ_CHECK(e.run || tick.LastExecuteTime() == lastBefore, what());

    // Each measurement only where the decision needs it.
    CALVERA_FUZZ_CHECK(
        fake.libraries.MemoryStatusCalls() - memoryCallsBefore == (e.measured ? 3u : 0u), what());
    CALVERA_FUZZ_CHECK(
        fake.libraries.SystemInformationCalls(0) - samplesBefore == (e.sampled ? 1u : 0u), what());
    CALVERA_FUZZ_CHECK(fake.system.PowerStatusQueries() - powerBefore == (e.powerQueried ? 1u : 0u),
                       what());
    CALVERA_FUZZ_CHECK(clock.Reads() == (e.run     ? 2
                                         : e.gates ? 1
                                                   : 0),
                       what() + "\nclock reads " + std::to_string(clock.Reads()));
    CALVERA_FUZZ_CHECK(fake.registry.OpenHandleCount() == 0, what());
    CALVERA_FUZZ_CHECK(fake.libraries.LoadedLibraryCount() == 0, what());
    CALVERA_FUZZ_CHECK(fake.libraries.UnmatchedFrees() == 0, what());

    // The update stamp: cleared, then the local time written, and nothing else ever written.
    CALVERA_FUZZ_CHECK(fake.registry.SetValueCount() - writesBefore == (updated ? 2u : 0u), what());
    if (updated) {
      CALVERA_FUZZ_CHECK(fake.registry.GetDword(kRoot, key, u"Updated") == 0u, what());
      const auto stamp = fake.registry.GetString(kRoot, key, u"UpdatedDate");
      CALVERA_FUZZ_CHECK(stamp.has_value(), what());
      const auto seconds = ParseDecimal(*stamp);
      CALVERA_FUZZ_CHECK(seconds.has_value(), what() + "\nUpdatedDate " + Show(*stamp));
      if (const auto range = StampRange(localTime)) {
        CALVERA_FUZZ_CHECK(
            *seconds >= range->first && *seconds <= range->second,
            what() + "\nUpdatedDate " + Show(*stamp) + " for " + std::to_string(localTime.year) +
                "-" + std::to_string(localTime.month) + "-" + std::to_string(localTime.day) + " " +
                std::to_string(localTime.hour) + ":" + std::to_string(localTime.minute) + ":" +
                std::to_string(localTime.second) + "." + std::to_string(localTime.milliseconds) +
                ", expected " + std::to_string(range->first));
      }
    }
  }
  return 0;
}
