#include "companion/run_state.h"

#include <algorithm>

namespace calvera::companion {
namespace {

constexpr std::uint32_t kFormat = 1;
constexpr std::size_t kHeaderSize = 4 + 8 + 4 + 8 + 4;
constexpr std::size_t kEntrySize = 4 + 8 + 8;

class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  void Put(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
      bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }

 private:
  std::vector<std::uint8_t>& bytes_;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Get(int size) {
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
      value |= std::uint64_t{bytes_[at_++]} << (8 * i);
    return value;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<ProcessIdentity> RunState::RecentlyTrimmed() const {
  std::vector<ProcessIdentity> identities;
  identities.reserve(trimmed.size());
  for (const TrimmedProcess& process : trimmed)
    identities.push_back(process.identity);
  std::sort(identities.begin(), identities.end());
  return identities;
}

std::vector<std::uint8_t> SerializeRunState(const RunState& state) {
  const std::size_t count = std::min(state.trimmed.size(), kMostTrimmedKept);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kHeaderSize + count * kEntrySize);
  Writer writer(bytes);
  writer.Put(kFormat, 4);
  writer.Put(state.cooldownUntil, 8);
  writer.Put(state.droppedRequests, 4);
  writer.Put(state.droppedMegabytes, 8);
  writer.Put(count, 4);
  for (auto process = state.trimmed.end() - static_cast<std::ptrdiff_t>(count);
       process != state.trimmed.end(); ++process) {
    writer.Put(process->identity.processId, 4);
    writer.Put(static_cast<std::uint64_t>(process->identity.creationTime), 8);
    writer.Put(process->trimmedAt, 8);
  }
  return bytes;
}

std::optional<RunState> ParseRunState(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize)
    return std::nullopt;
  Reader reader(data);
  if (reader.Get(4) != kFormat)
    return std::nullopt;
  RunState state;
  state.cooldownUntil = reader.Get(8);
  state.droppedRequests = static_cast<std::uint32_t>(reader.Get(4));
  state.droppedMegabytes = reader.Get(8);
  const std::uint64_t count = reader.Get(4);
  if (count > kMostTrimmedKept || data.size() != kHeaderSize + count * kEntrySize)
    return std::nullopt;
  state.trimmed.resize(static_cast<std::size_t>(count));
  for (TrimmedProcess& process : state.trimmed) {
    process.identity.processId = static_cast<std::uint32_t>(reader.Get(4));
    process.identity.creationTime = static_cast<std::int64_t>(reader.Get(8));
    process.trimmedAt = reader.Get(8);
  }
  return state;
}

void ForgetExpired(RunState& state, std::uint64_t now, const RunTimes& times) {
  if (state.cooldownUntil <= now || state.cooldownUntil - now > times.cooldown)
    state.cooldownUntil = 0;
  std::erase_if(state.trimmed, [now, &times](const TrimmedProcess& process) {
    return process.trimmedAt > now || now - process.trimmedAt >= times.trimHistory;
  });
}

RunState LoadRunState(platform::VolatileStore& store, std::uint64_t now, const RunTimes& times) {
  // A state that cannot be read is no state: the run goes on without a cooldown or a history,
  // and says so if it cannot store its own either.
  std::vector<std::uint8_t> data;
  if (store.Read(kRunStateValue, &data) != platform::kErrorSuccess)
    return {};
  auto state = ParseRunState(data);
  if (!state)
    return {};
  ForgetExpired(*state, now, times);
  return *state;
}

platform::ErrorCode SaveRunState(platform::VolatileStore& store, const RunState& state) {
  return store.Write(kRunStateValue, SerializeRunState(state));
}

}  // namespace calvera::companion
