#include "e2e/support/companion_log.h"

#include <windows.h>

#include <cstdlib>
#include <limits>
#include <sstream>

#include "e2e/support/unique_handle.h"

namespace calvera::e2e {

std::vector<CompanionRecord> CompanionLog::Records() const {
  std::vector<CompanionRecord> records;
  UniqueFileHandle file(CreateFileW(path_.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return records;
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
    content.append(buffer, read);
  std::size_t begin = 0;
  for (std::size_t end; (end = content.find('\n', begin)) != std::string::npos; begin = end + 1) {
    std::istringstream line(content.substr(begin, end - begin));
    std::string kind;
    CompanionRecord record;
    std::vector<std::string> words;
    line >> kind;
    for (std::string word; line >> word;)
      words.push_back(word);
    if ((kind != "start" && kind != "done") || words.empty())
      continue;
    record.start = kind == "start";
    record.tickMs = std::strtoull(words.back().c_str(), nullptr, 10);
    words.pop_back();
    for (std::size_t i = 0; i < words.size(); ++i)
      record.arguments += (i ? " " : "") + words[i];
    records.push_back(record);
  }
  return records;
}

std::vector<CompanionRecord> CompanionLog::RecordsSince(std::size_t mark) const {
  std::vector<CompanionRecord> records = Records();
  records.erase(records.begin(),
                records.begin() + static_cast<std::ptrdiff_t>(std::min(mark, records.size())));
  return records;
}

std::vector<std::int64_t> CompanionLog::StartedAmountsSince(std::size_t mark) const {
  std::vector<std::int64_t> amounts;
  for (const CompanionRecord& record : RecordsSince(mark)) {
    if (!record.start)
      continue;
    char* end = nullptr;
    const long long amount = std::strtoll(record.arguments.c_str(), &end, 10);
    amounts.push_back(record.arguments.empty() || *end != '\0'
                          ? std::numeric_limits<std::int64_t>::min()
                          : amount);
  }
  return amounts;
}

bool CompanionLog::WaitForStarts(std::size_t mark, std::size_t count, Deadline deadline) const {
  return WaitUntil([&] { return StartedAmountsSince(mark).size() >= count; }, deadline);
}

void CompanionLog::Remove() const {
  DeleteFileW(path_.c_str());
}

}  // namespace calvera::e2e
