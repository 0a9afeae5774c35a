#include "service/control_queue.h"

#include "platform/relative_wait.h"

namespace calvera::service {

void ControlQueue::Open() {
  std::lock_guard lock(mutex_);
  codes_.clear();
  open_ = true;
}

void ControlQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    codes_.clear();
    open_ = false;
  }
  posted_.notify_all();
}

void ControlQueue::Post(std::uint32_t code) {
  {
    std::lock_guard lock(mutex_);
    if (!open_) {
      return;
    }
    codes_.push_back(code);
  }
  posted_.notify_all();
}

std::optional<std::uint32_t> ControlQueue::TryTake() {
  std::lock_guard lock(mutex_);
  if (codes_.empty()) {
    return std::nullopt;
  }
  const std::uint32_t code = codes_.front();
  codes_.pop_front();
  return code;
}

std::optional<std::uint32_t> ControlQueue::Take() {
  std::unique_lock lock(mutex_);
  posted_.wait(lock, [this] { return !codes_.empty() || !open_; });
  if (codes_.empty()) {
    return std::nullopt;
  }
  const std::uint32_t code = codes_.front();
  codes_.pop_front();
  return code;
}

void ControlQueue::WaitForRequest() {
  std::unique_lock lock(mutex_);
  posted_.wait(lock, [this] { return !codes_.empty() || !open_; });
}

bool ControlQueue::WaitForRequest(std::chrono::milliseconds limit) {
  // Measured on the steady clock and waited as intervals, never as a calendar deadline.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock lock(mutex_);
  while (codes_.empty() && open_) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
      break;
    platform::WaitAtMost(posted_, lock, left);
  }
  return !codes_.empty();
}

}  // namespace calvera::service
