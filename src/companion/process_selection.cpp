#include "companion/process_selection.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <unordered_map>

#include "companion/freeing_policy.h"
#include "companion/image_names.h"

namespace calvera::companion {
namespace {

using platform::ProcessRecord;

constexpr std::uint32_t kIdleProcessId = 0;
constexpr std::uint32_t kSystemProcessId = 4;

bool Contains(const std::vector<std::uint32_t>& ids, std::uint32_t id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool IsExcluded(const std::vector<std::u16string>& names, const std::u16string& imageName) {
  return std::any_of(names.begin(), names.end(), [&imageName](const std::u16string& name) {
    return SameImageName(name, imageName);
  });
}

// The first reason to leave the process alone, or none for an idle candidate.
std::optional<SkipReason> ReasonToSkip(const ProcessRecord& process,
                                       const ProcessRecord* earlier,
                                       const SelectionRules& rules) {
  if (process.processId == kIdleProcessId || process.processId == kSystemProcessId ||
      Contains(rules.protectedIds, process.processId) ||
      IsCriticalSystemProcess(process.imageName)) {
    return SkipReason::kProtected;
  }
  if (IsVirtualMachineHost(process.imageName))
    return SkipReason::kVirtualMachine;
  if (IsExcluded(rules.excludedNames, process.imageName))
    return SkipReason::kExcluded;
  if (process.privateWorkingSetBytes < kSmallestTrimmedWorkingSet)
    return SkipReason::kSmall;
  if (earlier == nullptr || rules.now - process.creationTime < kYoungestTrimmedAge)
    return SkipReason::kYoung;
  if (std::binary_search(rules.recentlyTrimmed.begin(), rules.recentlyTrimmed.end(),
                         ProcessIdentity{process.processId, process.creationTime})) {
    return SkipReason::kRecentlyTrimmed;
  }
  if (process.processorTime != earlier->processorTime)
    return SkipReason::kBusy;
  return std::nullopt;
}

}  // namespace

std::uint32_t SkipCounts::Total() const {
  return std::accumulate(counts.begin(), counts.end(), std::uint32_t{0});
}

std::vector<std::uint32_t> CalveraProcessIds(
    std::span<const ProcessRecord> snapshot,
    std::uint32_t ownId,
    const std::function<std::uint32_t()>& serviceProcessId) {
  std::vector<std::uint32_t> ids{ownId};
  const auto find = [snapshot](std::uint32_t id) {
    return std::find_if(snapshot.begin(), snapshot.end(),
                        [id](const ProcessRecord& process) { return process.processId == id; });
  };
  if (const auto own = find(ownId); own != snapshot.end()) {
    const auto parent = find(own->parentProcessId);
    if (parent != snapshot.end() && parent->processId != ownId &&
        parent->creationTime <= own->creationTime &&
        SameImageName(parent->imageName, kServiceImageName)) {
      ids.push_back(parent->processId);
    }
  }
  const bool unknownServiceImage =
      std::any_of(snapshot.begin(), snapshot.end(), [&ids](const ProcessRecord& process) {
        return SameImageName(process.imageName, kServiceImageName) &&
               !Contains(ids, process.processId);
      });
  if (unknownServiceImage) {
    if (const std::uint32_t service = serviceProcessId(); service != 0 && !Contains(ids, service))
      ids.push_back(service);
  }
  return ids;
}

Selection SelectIdleProcesses(std::span<const ProcessRecord> first,
                              std::span<const ProcessRecord> second,
                              const SelectionRules& rules) {
  std::unordered_map<std::uint32_t, const ProcessRecord*> earlier;
  earlier.reserve(first.size());
  for (const ProcessRecord& process : first)
    earlier.emplace(process.processId, &process);

  Selection selection;
  for (const ProcessRecord& process : second) {
    const auto found = earlier.find(process.processId);
    const ProcessRecord* before =
        found != earlier.end() && found->second->creationTime == process.creationTime
            ? found->second
            : nullptr;
    if (const auto reason = ReasonToSkip(process, before, rules)) {
      ++selection.skipped[*reason];
      continue;
    }
    selection.candidates.push_back(Candidate{{process.processId, process.creationTime},
                                             process.imageName,
                                             process.privateWorkingSetBytes});
  }
  std::sort(selection.candidates.begin(), selection.candidates.end(),
            [](const Candidate& a, const Candidate& b) {
              if (a.privateWorkingSetBytes != b.privateWorkingSetBytes)
                return a.privateWorkingSetBytes > b.privateWorkingSetBytes;
              return a.identity.processId < b.identity.processId;
            });
  return selection;
}

}  // namespace calvera::companion
