#include "fake/fake_event_log.h"

namespace calvera::fake {

namespace {

const std::map<platform::ErrorCode, std::u16string>& WindowsMessages() {
  static const std::map<platform::ErrorCode, std::u16string> messages = {
      {2, u"The system cannot find the file specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {6, u"The handle is invalid.\r\n"},
      {8, u"Not enough memory resources are available to process this command.\r\n"},
      {87, u"The parameter is incorrect.\r\n"},
      {1052, u"The requested control is not valid for this service.\r\n"},
      {1060, u"The specified service does not exist as an installed service.\r\n"},
      {1061, u"The service cannot accept control messages at this time.\r\n"},
      {1062, u"The service has not been started.\r\n"},
      {1063, u"The service process could not connect to the service controller.\r\n"},
      {1072, u"The specified service has been marked for deletion.\r\n"},
      {1073, u"The specified service already exists.\r\n"},
  };
  return messages;
}

}  // namespace

platform::EventSourceHandle FakeEventLog::RegisterSource(const char16_t* sourceName) {
  std::lock_guard lock(mutex_);
  if (failures_[Call::kRegisterSource]) {
    return {};
  }
  const platform::EventSourceHandle handle = handles_.Next();
  sources_[handle] = sourceName ? sourceName : u"";
  ++registered_;
  return handle;
}

bool FakeEventLog::Report(platform::EventSourceHandle source,
                          std::uint16_t type,
                          std::uint16_t category,
                          std::uint32_t eventId,
                          const char16_t* message) {
  std::lock_guard lock(mutex_);
  const auto found = sources_.find(source);
  if (failures_[Call::kReport] || found == sources_.end()) {
    return false;
  }
  entries_.push_back({found->second, type, category, eventId, message ? message : u""});
  return true;
}

void FakeEventLog::DeregisterSource(platform::EventSourceHandle source) {
  std::lock_guard lock(mutex_);
  if (sources_.erase(source) != 0) {
    ++deregistered_;
  } else {
    ++unmatchedDeregistrations_;
  }
}

std::u16string FakeEventLog::SystemMessage(platform::ErrorCode code) {
  std::lock_guard lock(mutex_);
  if (const auto set = messages_.find(code); set != messages_.end()) {
    return set->second;
  }
  const auto& windows = WindowsMessages();
  const auto found = windows.find(code);
  return found != windows.end() ? found->second : std::u16string();
}

void FakeEventLog::FailCall(Call call, bool fails) {
  std::lock_guard lock(mutex_);
  failures_[call] = fails;
}

void FakeEventLog::SetSystemMessage(platform::ErrorCode code, std::u16string text) {
  std::lock_guard lock(mutex_);
  messages_[code] = std::move(text);
}

std::vector<FakeEventLog::Entry> FakeEventLog::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::vector<std::u16string> FakeEventLog::Texts(const std::u16string& source) const {
  std::lock_guard lock(mutex_);
  std::vector<std::u16string> texts;
  for (const auto& entry : entries_) {
    if (entry.source == source) {
      texts.push_back(entry.text);
    }
  }
  return texts;
}

int FakeEventLog::RegisteredCount() const {
  std::lock_guard lock(mutex_);
  return registered_;
}

int FakeEventLog::DeregisteredCount() const {
  std::lock_guard lock(mutex_);
  return deregistered_;
}

std::size_t FakeEventLog::OpenSourceCount() const {
  std::lock_guard lock(mutex_);
  return sources_.size();
}

std::size_t FakeEventLog::UnmatchedDeregistrations() const {
  std::lock_guard lock(mutex_);
  return unmatchedDeregistrations_;
}

}  // namespace calvera::fake
