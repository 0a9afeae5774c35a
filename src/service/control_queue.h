// The ordered queue through which control codes reach the service thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace calvera::service {

// Open exactly while a service thread exists: requests that arrive while it is closed are
// dropped, and none is lost while it is open. Codes come out in the order they went in.
class ControlQueue {
 public:
  // Starts taking requests, with none waiting. On the service's entry thread, before the
  // service thread starts.
  void Open();
  // Stops taking requests and drops those still waiting; wakes a thread waiting in `Take`.
  // On the entry thread, after the service thread has ended.
  void Close();
  // Appends `code`, or drops it while the queue is closed. Any thread; never waits.
  void Post(std::uint32_t code);
  // The oldest waiting code, or none when nothing waits. Service thread; never waits.
  std::optional<std::uint32_t> TryTake();
  // Waits for a code and takes it; none once the queue is closed. Service thread.
  std::optional<std::uint32_t> Take();
  // Returns once a code waits (leaving it queued) or the queue is closed. Service thread.
  void WaitForRequest();
  // As WaitForRequest, but returns after `limit` at the latest; true when a code waits.
  // Service thread.
  bool WaitForRequest(std::chrono::milliseconds limit);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::uint32_t> codes_;
  bool open_ = false;
};

}  // namespace calvera::service
