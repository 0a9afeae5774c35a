// The limits that the companion's runs keep to, in one place.
#pragma once

#include <cstdint>

namespace calvera::companion {

inline constexpr std::int64_t kMegabyte = 1048576;

// The most a single request asks for; larger arguments are cut to it.
inline constexpr std::int32_t kLargestRequestMegabytes = 1024;

// Processes are trimmed only from this private working set up: trimming a smaller one gains
// less than the page faults it costs the process.
inline constexpr std::uint64_t kSmallestTrimmedWorkingSet = 16 * kMegabyte;
// Processes younger than this are still loading what they need.
inline constexpr std::int64_t kYoungestTrimmedAge = 60 * 10'000'000LL;  // FILETIME units

// The modified list is flushed only from this size up, and only up to the cap: below the floor
// the writes buy too little, above the cap they could hold up a machine with a slow disk.
inline constexpr std::uint64_t kModifiedListFloor = 16 * kMegabyte;
inline constexpr std::uint64_t kModifiedListCap = 1024 * kMegabyte;

// The service that starts the companion, and its executable's name.
inline constexpr char16_t kServiceName[] = u"Calvera";
inline constexpr char16_t kServiceImageName[] = u"Calvera.exe";

// The waits and limits of a run in milliseconds. The program runs with these; tests set their own.
struct RunTimes {
  // After each step that changed something, so that the lists show what it did.
  std::uint32_t settle = 200;
  // Between the two process snapshots that tell idle processes from busy ones.
  std::uint32_t samplingInterval = 500;
  // Of work per run, looked at between steps and between processes.
  std::uint32_t deadline = 15'000;
  // After a run that fell short, during which requests are counted and dropped.
  std::uint32_t cooldown = 60'000;
  // How long a trimmed process is left alone.
  std::uint32_t trimHistory = 300'000;
};

}  // namespace calvera::companion
