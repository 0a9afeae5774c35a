// Fake event log: records every entry with its source, counts sources registered against those
// deregistered, can fail, and gives Windows' texts for a handful of error codes.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fake/handle_values.h"
#include "platform/event_log.h"

namespace calvera::fake {

class FakeEventLog : public platform::EventLog {
 public:
  enum class Call { kRegisterSource, kReport };

  struct Entry {
    std::u16string source;
    std::uint16_t type;
    std::uint16_t category;
    std::uint32_t id;
    std::u16string text;

    friend bool operator==(const Entry&, const Entry&) = default;
  };

  // platform::EventLog. Report fails for a handle that is not registered.
  platform::EventSourceHandle RegisterSource(const char16_t* sourceName) override;
  bool Report(platform::EventSourceHandle source,
              std::uint16_t type,
              std::uint16_t category,
              std::uint32_t eventId,
              const char16_t* message) override;
  void DeregisterSource(platform::EventSourceHandle source) override;
  // Windows' text, "\r\n" included, for 2, 5, 6, 8, 87, 1052, 1060, 1061, 1062, 1063, 1072
  // and 1073, or the one set for the code; empty for any other code.
  std::u16string SystemMessage(platform::ErrorCode code) override;

  // Every later call of that function fails (false to succeed again).
  void FailCall(Call call, bool fails);
  void SetSystemMessage(platform::ErrorCode code, std::u16string text);

  std::vector<Entry> Entries() const;
  // The texts of the entries under `source`, in order.
  std::vector<std::u16string> Texts(const std::u16string& source) const;
  int RegisteredCount() const;
  int DeregisteredCount() const;
  // Sources registered and not yet deregistered.
  std::size_t OpenSourceCount() const;
  // DeregisterSource calls on a handle that was not registered, or deregistered already.
  std::size_t UnmatchedDeregistrations() const;

 private:
  mutable std::mutex mutex_;
  std::map<Call, bool> failures_;
  std::map<platform::ErrorCode, std::u16string> messages_;
  std::map<platform::EventSourceHandle, std::u16string> sources_;
  HandleValues<platform::EventSourceHandle> handles_{0x2000};
  std::vector<Entry> entries_;
  int registered_ = 0;
  int deregistered_ = 0;
  std::size_t unmatchedDeregistrations_ = 0;
};

}  // namespace calvera::fake
