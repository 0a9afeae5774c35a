// Several companions started at once, their steps interleaved in every order (two of them) or in
// many random orders (three and four) at the points where they meet: the shared count added to,
// taken and looked at, the mutex tried and released, and every wait of the worker. Whatever the
// order, no request is lost, every one is accounted for in the entries or the dropped count, and
// only the worker does more than add its request and try the mutex once.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "companion/companion.h"
#include "companion/coordination.h"
#include "companion/run_state.h"
#include "fake/fake_companion.h"
#include "fake/interleaving.h"
#include "platform/text.h"

namespace calvera::companion {
namespace {

using fake::FakeCompanionMachine;
using fake::FakeCompanionProcess;
using fake::FakePageLists;
using fake::Interleaving;

constexpr std::uint64_t kMb = FakePageLists::kMegabyte;

enum class Machine {
  kPlenty,   // every run reaches its target
  kNothing,  // the first run falls short, and the cooldown drops what follows
};

struct Totals {
  std::uint64_t requests = 0;
  std::uint64_t megabytes = 0;
  friend bool operator==(const Totals&, const Totals&) = default;
};

// The number that follows the first `lead` in `text`, from `from` on.
std::optional<std::uint64_t> NumberAfter(const std::string& text,
                                         const std::string& lead,
                                         std::size_t from = 0) {
  const std::size_t at = text.find(lead, from);
  if (at == std::string::npos)
    return std::nullopt;
  return std::stoull(text.substr(at + lead.size()));
}

// The process the calling thread plays, for the checks in the hooks.
thread_local std::uint32_t playing = 0;

// One burst on a fresh machine in the order the chooser makes; returns what went wrong, if
// anything.
std::string RunBurst(Machine kind,
                     const std::vector<std::uint32_t>& amounts,
                     const Interleaving::Chooser& chooser) {
  FakeCompanionMachine machine;
  FakePageLists& lists = machine.pageLists;
  lists.SetFree(100 * kMb);
  lists.SetStandby(5, 100 * kMb);
  // No cache to trim: the worker waits only for the sampling interval and a settle a run.
  lists.SetFileCacheError(platform::kErrorCallNotImplemented);
  if (kind == Machine::kPlenty) {
    for (int i = 0; i < 24; ++i)
      lists.AddProcess({u"app.exe", 0, 0, 3600, 400 * kMb});
  }
  RunTimes times;
  Interleaving interleaving(chooser);
  std::string problems;
  const auto problem = [&problems](const std::string& text) { problems += text + "; "; };
  machine.objects.SetSwitchHook([&interleaving] { interleaving.Switch(); });
  // Only the worker ever waits, and only while it holds the mutex.
  lists.SetSleepHook([&] {
    if (machine.objects.MutexOwner(kWorkerMutexName, true) != playing)
      problem("process " + std::to_string(playing) + " waited without the mutex");
    interleaving.Switch();
  });

  std::vector<ExitCode> codes(amounts.size());
  std::vector<std::vector<std::string>> operations(amounts.size());
  std::vector<std::function<void()>> bodies;
  for (std::size_t i = 0; i < amounts.size(); ++i) {
    bodies.emplace_back([&, i] {
      FakeCompanionProcess process(machine);
      playing = process.ProcessId();
      codes[i] = RunCompanion(process.Platform(), times, {ToDecimal(amounts[i])});
      operations[i] = process.NamedObjects().Operations();
    });
  }
  interleaving.Run(bodies);

  // Every request: served by a run, or dropped and counted.
  Totals asked;
  for (const std::uint32_t amount : amounts) {
    ++asked.requests;
    asked.megabytes += amount;
  }
  Totals accounted;
  int runs = 0;
  for (const std::u16string& record : machine.Records()) {
    const std::string text = ToUtf8(record);
    const auto megabytes = NumberAfter(text, "\nAsked: ");
    if (megabytes) {
      ++runs;
      accounted.megabytes += *megabytes;
      accounted.requests += NumberAfter(text, " MB in ", text.find("\nAsked: ")).value_or(0);
    } else {
      problem("an entry without its request: " + text);
    }
    const std::size_t dropped = text.find("Dropped while cooling down before this run: ");
    if (dropped != std::string::npos) {
      accounted.requests += NumberAfter(text, "run: ", dropped).value_or(0);
      accounted.megabytes += NumberAfter(text, ", ", dropped).value_or(0);
    }
  }
  if (const auto data = machine.store.Data(kRunStateValue)) {
    const RunState state = ParseRunState(*data).value_or(RunState{});
    accounted.requests += state.droppedRequests;
    accounted.megabytes += state.droppedMegabytes;
  }
  if (!(accounted == asked)) {
    problem("asked " + std::to_string(asked.requests) + " requests of " +
            std::to_string(asked.megabytes) + " MB, accounted for " +
            std::to_string(accounted.requests) + " of " + std::to_string(accounted.megabytes));
  }
  if (runs == 0)
    problem("no run");

  // A companion that did not get the mutex added its request, tried once and ended.
  const std::vector<std::string> queued = {"add", "lock"};
  for (std::size_t i = 0; i < amounts.size(); ++i) {
    const bool worked = operations[i].size() > 2;
    if (!worked && operations[i] != queued)
      problem("process " + std::to_string(i) + " did more than queue its request");
    if (!worked && codes[i] != ExitCode::kDone)
      problem("process " + std::to_string(i) + " queued its request and failed");
  }
  if (machine.objects.MutexOwner(kWorkerMutexName, true) != 0)
    problem("the mutex is still held");
  return problems;
}

TEST(HandoffTest, TwoCompanionsInEveryOrder) {
  for (const Machine kind : {Machine::kPlenty, Machine::kNothing}) {
    fake::EveryOrder orders;
    int tried = 0;
    do {
      ++tried;
      const std::string problems = RunBurst(
          kind, {300, 1024}, [&orders](std::size_t runnable) { return orders.Choose(runnable); });
      ASSERT_EQ(problems, "") << "order " << tried;
    } while (orders.Next());
    EXPECT_GT(tried, 10);
  }
}

TEST(HandoffTest, ThreeAndFourCompanionsInManyRandomOrders) {
  const std::vector<std::vector<std::uint32_t>> bursts = {{1024, 1024, 300}, {100, 200, 300, 1024}};
  for (const Machine kind : {Machine::kPlenty, Machine::kNothing}) {
    for (const auto& amounts : bursts) {
      for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        std::mt19937 random(seed);
        const std::string problems = RunBurst(kind, amounts, [&random](std::size_t runnable) {
          return std::uniform_int_distribution<std::size_t>(0, runnable - 1)(random);
        });
        ASSERT_EQ(problems, "") << "seed " << seed << ", " << amounts.size() << " companions";
      }
    }
  }
}

}  // namespace
}  // namespace calvera::companion
