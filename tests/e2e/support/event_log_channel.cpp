#include "e2e/support/event_log_channel.h"

#include <algorithm>
#include <cstdlib>

#include "e2e/support/text.h"
#include "e2e/support/unique_handle.h"

namespace calvera::e2e {
namespace {

std::wstring EnvironmentPath() {
  const DWORD size = GetEnvironmentVariableW(L"CALVERA_E2E_CHANNELS", nullptr, 0);
  if (size == 0)
    return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(L"CALVERA_E2E_CHANNELS", value.data(), size));
  return value;
}

// Reads from `offset` to the end of the file as it is now.
std::string ReadFrom(const std::wstring& path, std::uint64_t offset) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return {};
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN))
    return {};
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    content.append(buffer, read);
  return content;
}

// "0044:0048:err:eventlog:ReportEventW L\"text\"": process, thread, level, channel, function.
bool Parse(const std::string& line, ChannelLine* parsed) {
  std::size_t colons[4];
  std::size_t at = 0;
  for (std::size_t& colon : colons) {
    colon = line.find(':', at);
    if (colon == std::string::npos)
      return false;
    at = colon + 1;
  }
  char* end = nullptr;
  parsed->processId = static_cast<DWORD>(std::strtoul(line.c_str(), &end, 16));
  if (end != line.c_str() + colons[0])
    return false;
  const std::size_t space = std::min(line.find(' ', colons[3]), line.size());
  parsed->level = line.substr(colons[1] + 1, colons[2] - colons[1] - 1);
  parsed->channel = line.substr(colons[2] + 1, colons[3] - colons[2] - 1);
  parsed->function = line.substr(colons[3] + 1, space - colons[3] - 1);
  parsed->text = space < line.size() ? line.substr(space + 1) : "";
  return true;
}

}  // namespace

const EventLogChannel& EventLogChannel::Session() {
  static const EventLogChannel session(EnvironmentPath());
  return session;
}

std::uint64_t EventLogChannel::Mark() const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path_.empty() || !GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data))
    return 0;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::vector<ChannelLine> EventLogChannel::LinesSince(std::uint64_t mark,
                                                     const std::string& channel) const {
  std::vector<ChannelLine> lines;
  const std::string content = ReadFrom(path_, mark);
  std::size_t begin = 0;
  // A last line without its end is still being written: it is left for a later read.
  for (std::size_t end; (end = content.find('\n', begin)) != std::string::npos; begin = end + 1) {
    ChannelLine line;
    std::string text = content.substr(begin, end - begin);
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    if (Parse(text, &line) && line.channel == channel)
      lines.push_back(line);
  }
  return lines;
}

std::vector<ChannelLine> EventLogChannel::ErrorsSince(std::uint64_t mark,
                                                      const std::vector<DWORD>& except) const {
  std::vector<ChannelLine> errors;
  for (ChannelLine& line : LinesSince(mark, "eventlog")) {
    if (line.level == "err" &&
        std::find(except.begin(), except.end(), line.processId) == except.end()) {
      errors.push_back(std::move(line));
    }
  }
  return errors;
}

std::string Describe(const std::vector<ChannelLine>& lines) {
  std::string text;
  for (const ChannelLine& line : lines) {
    char pid[16];
    std::snprintf(pid, sizeof pid, "%04lx", line.processId);
    text += std::string("\n  ") + pid + " " + line.level + ":" + line.channel + ":" +
            line.function + " " + line.text;
  }
  return text.empty() ? " none" : text;
}

}  // namespace calvera::e2e
