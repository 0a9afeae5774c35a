#include "e2e/support/companion_runs.h"

#include <algorithm>
#include <cstring>
#include <regex>

namespace calvera::e2e {
namespace {

constexpr wchar_t kStateKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Calvera\\CompanionState";
constexpr wchar_t kStateValue[] = L"RunState";
constexpr std::uint32_t kStateFormat = 1;
constexpr std::size_t kStateHeader = 4 + 8 + 4 + 8 + 4;

// The text of L"..." as Wine's debugstr_w prints it, its escapes undone; a text that Wine cut
// ends with "...".
std::string Unquote(const std::string& printed) {
  std::string text;
  std::size_t at = printed.rfind('"');
  const std::size_t begin = printed.find("L\"");
  if (begin == std::string::npos || at == std::string::npos || at <= begin + 1)
    return text;
  for (std::size_t i = begin + 2; i < at; ++i) {
    if (printed[i] != '\\' || i + 1 >= at) {
      text.push_back(printed[i]);
      continue;
    }
    switch (printed[++i]) {
      case 'n':
        text.push_back('\n');
        break;
      case 't':
        text.push_back('\t');
        break;
      case 'r':
        break;
      default:
        text.push_back(printed[i]);
    }
  }
  return text;
}

std::uint64_t Little(const BYTE* bytes, int size) {
  std::uint64_t value = 0;
  for (int i = 0; i < size; ++i)
    value |= std::uint64_t{bytes[i]} << (8 * i);
  return value;
}

std::optional<std::vector<BYTE>> StateBytes() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kStateKey, kStateValue, RRF_RT_REG_BINARY, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> bytes(size);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kStateKey, kStateValue, RRF_RT_REG_BINARY, nullptr,
                   bytes.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

std::uint64_t Number(const std::smatch& match, std::size_t group) {
  return match[group].matched ? std::stoull(match[group].str()) : 0;
}

}  // namespace

std::vector<CompanionEntry> CompanionEntriesSince(std::uint64_t mark,
                                                  const std::vector<DWORD>& processIds,
                                                  bool except) {
  std::vector<CompanionEntry> entries;
  for (const ChannelLine& line : EventLogChannel::Session().LinesSince(mark, "eventlog")) {
    const bool listed =
        std::find(processIds.begin(), processIds.end(), line.processId) != processIds.end();
    if (line.function != "ReportEventW" || listed == except)
      continue;
    entries.push_back({line.processId, line.level, Unquote(line.text)});
  }
  return entries;
}

std::optional<RequestCount> AskedIn(const CompanionEntry& entry) {
  static const std::regex asked("\\nAsked: (\\d+) MB in (\\d+) requests?\\.");
  std::smatch match;
  if (!std::regex_search(entry.text, match, asked))
    return std::nullopt;
  return RequestCount{Number(match, 2), Number(match, 1)};
}

RequestCount DroppedBefore(const CompanionEntry& entry) {
  static const std::regex dropped(
      "Dropped while cooling down before this run: (\\d+) requests?, (\\d+) MB\\.");
  std::smatch match;
  if (!std::regex_search(entry.text, match, dropped))
    return {};
  return RequestCount{Number(match, 1), Number(match, 2)};
}

std::optional<CompanionState> ReadCompanionState() {
  const auto bytes = StateBytes();
  if (!bytes || bytes->size() < kStateHeader || Little(bytes->data(), 4) != kStateFormat)
    return std::nullopt;
  const BYTE* data = bytes->data();
  CompanionState state;
  state.cooldownUntil = Little(data + 4, 8);
  state.droppedRequests = static_cast<std::uint32_t>(Little(data + 12, 4));
  state.droppedMegabytes = Little(data + 16, 8);
  state.trimmed = static_cast<std::uint32_t>(Little(data + 24, 4));
  return state;
}

LONG EndCompanionCooldown() {
  auto bytes = StateBytes();
  if (!bytes || bytes->size() < kStateHeader)
    return ERROR_FILE_NOT_FOUND;
  std::fill(bytes->begin() + 4, bytes->begin() + 12, BYTE{0});
  return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kStateKey, kStateValue, REG_BINARY, bytes->data(),
                         static_cast<DWORD>(bytes->size()));
}

StartedCompanion::StartedCompanion(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    return;
  }
  const UniqueKernelHandle thread(info.hThread);
  process_.reset(info.hProcess);
  processId_ = info.dwProcessId;
}

bool StartedCompanion::Ended() const {
  return !process_ || WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

std::optional<DWORD> StartedCompanion::ExitCode() const {
  DWORD code = 0;
  if (!process_ || !Ended() || !GetExitCodeProcess(process_.get(), &code))
    return std::nullopt;
  return code;
}

}  // namespace calvera::e2e
