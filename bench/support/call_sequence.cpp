#include "support/call_sequence.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "config/custom_registry.h"
#include "config/policy_key.h"
#include "config/settings.h"
#include "platform/text.h"
#include "probes/ram.h"

namespace calvera::bench {
namespace {

bool SameText(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr)
    return a == b;
  return std::u16string_view(a) == std::u16string_view(b);
}

bool SameText(const char* a, const char* b) {
  if (a == nullptr || b == nullptr)
    return a == b;
  return std::strcmp(a, b) == 0;
}

// The version query's extended size (OSVERSIONINFOEXW).
constexpr std::int64_t kExtendedVersionRecordLength = 284;

void AddLibraryCall(CallSequence& calls,
                    const char16_t* library,
                    const char* entryPoint,
                    const PlatformCall& call) {
  calls.Add({Call::kLoadLibrary, library});
  calls.Add({Call::kFindEntryPoint, nullptr, entryPoint});
  calls.Add(call);
  calls.Add({Call::kFreeLibrary});
}

const char* Name(Call call) {
  static constexpr const char* kNames[] = {"OpenKey",
                                           "QueryValue",
                                           "CloseKey",
                                           "CreateKey",
                                           "SetValue",
                                           "LoadLibrary",
                                           "FindEntryPoint",
                                           "FreeLibrary",
                                           "GlobalMemoryStatusEx",
                                           "NtQuerySystemInformation",
                                           "GetVersionEx",
                                           "Milliseconds",
                                           "LocalTime",
                                           "PowerStatus",
                                           "ModuleFileName",
                                           "ShellExecute",
                                           "other"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(Call::kOther) + 1);
  return kNames[static_cast<std::size_t>(call)];
}

void Print(const char* prefix, std::span<const PlatformCall> calls, std::size_t index) {
  if (index >= calls.size()) {
    std::fprintf(stderr, "  %s #%zu: (none)\n", prefix, index);
    return;
  }
  const PlatformCall& call = calls[index];
  std::fprintf(stderr, "  %s #%zu: %s %s %s %lld %lld\n", prefix, index, Name(call.call),
               call.wide != nullptr ? ToUtf8(call.wide).c_str() : "-",
               call.narrow != nullptr ? call.narrow : "-", static_cast<long long>(call.first),
               static_cast<long long>(call.second));
}

}  // namespace

bool operator==(const PlatformCall& a, const PlatformCall& b) {
  return a.call == b.call && SameText(a.wide, b.wide) && SameText(a.narrow, b.narrow) &&
         a.first == b.first && a.second == b.second;
}

void CallSequence::Add(const PlatformCall& call) {
  if (count_ < kCapacity)
    calls_[count_] = call;
  ++count_;
}

void CallSequence::Clear() {
  count_ = 0;
}

std::span<const PlatformCall> CallSequence::Calls() const {
  return std::span<const PlatformCall>(calls_.data(), count_ < kCapacity ? count_ : kCapacity);
}

CallSequence ExpectedCalls(std::span<const TickStep> steps, std::int32_t versionCode) {
  // The settings key as the platform gets it: without the leading backslash.
  const char16_t* const keyPath = config::kSettingsKeyPath + 1;
  const auto readAccess =
      config::RegistryAccessRights(config::AccessKind::kRead, false, platform::kProcessIs64Bit);
  const char16_t* const policyKeyPath = config::kPolicyKeyPath + 1;
  CallSequence calls;
  for (const TickStep& step : steps) {
    switch (step.step) {
      case Step::kReadSetting:
        calls.Add({Call::kOpenKey, keyPath, nullptr, readAccess});
        calls.Add({Call::kQueryValue, step.setting, nullptr, 4, 1});
        calls.Add({Call::kCloseKey});
        break;
      case Step::kOpenPolicyKey:
        calls.Add({Call::kOpenKey, policyKeyPath, nullptr, config::PolicyKeyAccessRights()});
        break;
      case Step::kMemoryStatus:
        AddLibraryCall(
            calls, u"Kernel32.dll", "GlobalMemoryStatusEx",
            {Call::kGlobalMemoryStatusEx, nullptr, nullptr, probes::kMemoryStatusRecordLength});
        break;
      case Step::kSystemInformation:
        AddLibraryCall(calls, u"ntdll.dll", "NtQuerySystemInformation",
                       {Call::kNtQuerySystemInformation, nullptr, nullptr, step.infoClass,
                        SystemInformationLength(step.infoClass, versionCode)});
        break;
      case Step::kVersion:
        calls.Add({Call::kGetVersionEx, nullptr, nullptr, kExtendedVersionRecordLength});
        break;
      case Step::kPowerStatus:
        calls.Add({Call::kPowerStatus});
        break;
      case Step::kMilliseconds:
        calls.Add({Call::kMilliseconds});
        break;
      case Step::kModuleFileName:
        calls.Add({Call::kModuleFileName});
        break;
      case Step::kLaunch:
        calls.Add({Call::kShellExecute});
        break;
    }
  }
  return calls;
}

bool ReportDifference(const char* label, const CallSequence& expected, const CallSequence& actual) {
  const auto want = expected.Calls();
  const auto got = actual.Calls();
  if (expected.Complete() && actual.Complete() && want.size() == got.size() &&
      std::equal(want.begin(), want.end(), got.begin())) {
    return true;
  }
  std::size_t index = 0;
  while (index < want.size() && index < got.size() && want[index] == got[index])
    ++index;
  std::fprintf(stderr,
               "%s: the tick made %zu platform calls where the path says %zu; first "
               "difference:\n",
               label, got.size(), want.size());
  Print("expected", want, index);
  Print("actual  ", got, index);
  return false;
}

}  // namespace calvera::bench
