#include "fake/fake_windowing.h"

#include <algorithm>

namespace calvera::fake {

using platform::WindowHandle;
using platform::WindowMessage;

FakeWindowing::ThreadQueue& FakeWindowing::QueueOf(std::thread::id thread) {
  return queues_[thread];
}

bool FakeWindowing::IsIdle(std::thread::id thread) const {
  const auto found = queues_.find(thread);
  return found != queues_.end() && found->second.waiting && found->second.messages.empty();
}

void FakeWindowing::Enqueue(std::thread::id thread, const WindowMessage& message) {
  ThreadQueue& queue = QueueOf(thread);
  queue.messages.push_back(message);
  queue.posted.notify_all();
  changed_.notify_all();
}

WindowHandle FakeWindowing::CreateMessageWindow(platform::WindowProcedure* procedure) {
  std::lock_guard lock(mutex_);
  if (failCreateWindow_ != 0 || procedure == nullptr) {
    if (failCreateWindow_ > 0)
      --failCreateWindow_;
    return {};
  }
  const WindowHandle window = windowValues_.Next();
  windows_[window] = {std::this_thread::get_id(), procedure, {}};
  return window;
}

void FakeWindowing::DestroyWindow(WindowHandle window) {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  if (found == windows_.end() || found->second.owner != std::this_thread::get_id()) {
    return;
  }
  auto& messages = QueueOf(found->second.owner).messages;
  std::erase_if(messages, [&](const WindowMessage& m) { return m.window == window; });
  windows_.erase(found);
  changed_.notify_all();
}

bool FakeWindowing::SetTimer(WindowHandle window,
                             std::uintptr_t timerId,
                             std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  const bool onOwner = found != windows_.end() && found->second.owner == std::this_thread::get_id();
  const bool succeeds = onOwner && !failSetTimer_;
  if (succeeds) {
    found->second.timers[timerId] = milliseconds;
  }
  timerEvents_.push_back({TimerCall::kSet, window, timerId, milliseconds, onOwner, succeeds});
  changed_.notify_all();
  return succeeds;
}

void FakeWindowing::KillTimer(WindowHandle window, std::uintptr_t timerId) {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  const bool onOwner = found != windows_.end() && found->second.owner == std::this_thread::get_id();
  const bool succeeds = onOwner && found->second.timers.erase(timerId) != 0;
  timerEvents_.push_back({TimerCall::kKill, window, timerId, 0, onOwner, succeeds});
  changed_.notify_all();
}

bool FakeWindowing::PostToWindow(WindowHandle window,
                                 std::uint32_t message,
                                 std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  std::lock_guard lock(mutex_);
  if (failPostMessage_)
    return false;
  if (window == WindowHandle{}) {
    Enqueue(std::this_thread::get_id(), {window, message, wParam, lParam});
    return true;
  }
  const auto found = windows_.find(window);
  if (found == windows_.end())
    return false;
  Enqueue(found->second.owner, {window, message, wParam, lParam});
  return true;
}

bool FakeWindowing::WaitForMessage(WindowMessage* message) {
  std::unique_lock lock(mutex_);
  ThreadQueue& queue = QueueOf(std::this_thread::get_id());
  while (queue.messages.empty()) {
    queue.waiting = true;
    changed_.notify_all();
    queue.posted.wait(lock);
  }
  queue.waiting = false;
  *message = queue.messages.front();
  queue.messages.pop_front();
  return message->message != platform::kWmQuit;
}

void FakeWindowing::DispatchToWindow(const WindowMessage& message) {
  platform::WindowProcedure* procedure = nullptr;
  {
    std::lock_guard lock(mutex_);
    const auto found = windows_.find(message.window);
    if (found == windows_.end() || found->second.owner != std::this_thread::get_id()) {
      return;
    }
    procedure = found->second.procedure;
    dispatched_.push_back(message);
  }
  // Outside the lock: the procedure calls back into the windowing.
  static_cast<void>(procedure->HandleMessage(message.message, message.wParam, message.lParam));
}

void FakeWindowing::FailCreateWindow(bool fails, int times) {
  std::lock_guard lock(mutex_);
  failCreateWindow_ = fails ? times : 0;
}

void FakeWindowing::FailSetTimer(bool fails) {
  std::lock_guard lock(mutex_);
  failSetTimer_ = fails;
}

void FakeWindowing::FailPostMessage(bool fails) {
  std::lock_guard lock(mutex_);
  failPostMessage_ = fails;
}

int FakeWindowing::ElapseTimers() {
  std::lock_guard lock(mutex_);
  int queued = 0;
  for (const auto& [handle, state] : windows_) {
    const platform::WindowHandle window = handle;  // clang 14 cannot capture a structured binding
    for (const auto& timer : state.timers) {
      const std::uintptr_t id = timer.first;
      const auto& messages = QueueOf(state.owner).messages;
      const bool pending = std::any_of(messages.begin(), messages.end(), [&](const auto& m) {
        return m.window == window && m.message == platform::kWmTimer && m.wParam == id;
      });
      if (!pending) {
        Enqueue(state.owner, {window, platform::kWmTimer, id, 0});
        ++queued;
      }
    }
  }
  return queued;
}

int FakeWindowing::DispatchPending() {
  int count = 0;
  for (;;) {
    WindowMessage message;
    {
      std::lock_guard lock(mutex_);
      auto& messages = QueueOf(std::this_thread::get_id()).messages;
      if (messages.empty() || messages.front().message == platform::kWmQuit) {
        return count;
      }
      message = messages.front();
      messages.pop_front();
    }
    DispatchToWindow(message);
    ++count;
  }
}

bool FakeWindowing::WaitUntilIdle(WindowHandle window, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  const auto found = windows_.find(window);
  if (found == windows_.end()) {
    return false;
  }
  const std::thread::id owner = found->second.owner;
  return changed_.wait_for(lock, timeout, [&] { return IsIdle(owner); });
}

bool FakeWindowing::WindowExists(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  return windows_.contains(window);
}

std::size_t FakeWindowing::WindowCount() const {
  std::lock_guard lock(mutex_);
  return windows_.size();
}

std::optional<std::thread::id> FakeWindowing::WindowOwner(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  return found != windows_.end() ? std::optional(found->second.owner) : std::nullopt;
}

std::optional<std::uint32_t> FakeWindowing::ArmedInterval(WindowHandle window,
                                                          std::uintptr_t timerId) const {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  if (found == windows_.end()) {
    return std::nullopt;
  }
  const auto timer = found->second.timers.find(timerId);
  return timer != found->second.timers.end() ? std::optional(timer->second) : std::nullopt;
}

bool FakeWindowing::WaitUntilArmed(WindowHandle window,
                                   std::uintptr_t timerId,
                                   bool armed,
                                   std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    const auto found = windows_.find(window);
    return (found != windows_.end() && found->second.timers.contains(timerId)) == armed;
  });
}

std::vector<FakeWindowing::TimerEvent> FakeWindowing::TimerEvents() const {
  std::lock_guard lock(mutex_);
  return timerEvents_;
}

void FakeWindowing::ClearTimerEvents() {
  std::lock_guard lock(mutex_);
  timerEvents_.clear();
}

std::vector<WindowMessage> FakeWindowing::Dispatched() const {
  std::lock_guard lock(mutex_);
  return dispatched_;
}

}  // namespace calvera::fake
