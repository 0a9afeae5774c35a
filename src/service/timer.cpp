#include "service/timer.h"

#include <stdexcept>

#include "platform/failure_policy.h"

namespace calvera::service {

namespace {
constexpr std::uintptr_t kTimerId = 1;
// Posted to the timer's own window to carry a switch over to the owner thread.
constexpr std::uint32_t kSwitchMessage = platform::kWmUser + 1;
}  // namespace

TTimer::TTimer(platform::Windowing& windowing)
    : windowing_(windowing), owner_(std::this_thread::get_id()) {
  window_ = platform::ScopedWindow(windowing_, windowing_.CreateMessageWindow(this));
  if (!window_) {
    throw std::runtime_error("The timer's window cannot be created");
  }
}

TTimer::~TTimer() {
  windowing_.KillTimer(window_.get(), kTimerId);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled_.exchange(enabled) == enabled) {
    return;
  }
  if (OnOwnerThread()) {
    UpdateTimer(enabled);
    return;
  }
  if (!windowing_.PostToWindow(window_.get(), kSwitchMessage, 0, 0) && enabled) {
    throw std::runtime_error("Not enough timers available");
  }
}

void TTimer::SetInterval(std::uint32_t milliseconds) {
  if (interval_ == milliseconds) {
    return;
  }
  interval_ = milliseconds;
  UpdateTimer(enabled_.load());
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  UpdateTimer(enabled_.load());
}

bool TTimer::OnOwnerThread() const {
  return std::this_thread::get_id() == owner_;
}

void TTimer::UpdateTimer(bool enabled) {
  windowing_.KillTimer(window_.get(), kTimerId);
  if (interval_ != 0 && enabled && onTimer_ &&
      !windowing_.SetTimer(window_.get(), kTimerId, interval_)) {
    throw std::runtime_error("Not enough timers available");
  }
}

bool TTimer::HandleMessage(std::uint32_t message, std::uintptr_t, std::intptr_t) noexcept {
  switch (message) {
    case platform::kWmTimer:
      Tick();
      return true;
    case kSwitchMessage:
      // A switch made on another thread. It applies the state recorded last, so switches
      // from both threads end in the same platform timer whatever order they arrive in. The
      // caller has moved on: a timer that cannot be armed stays unarmed without a word.
      TryOrIgnore([&] { UpdateTimer(enabled_.load()); });
      return true;
    default:
      return false;
  }
}

void TTimer::Tick() noexcept {
  // An expiry that was already due when the timer was switched off elsewhere arrives
  // before the switch has been carried over; it must not run.
  if (!enabled_.load() || !onTimer_) {
    return;
  }
  try {
    // A copy, so a handler that replaces the handler does not destroy itself.
    const TNotifyEvent handler = onTimer_;
    handler(*this);
  } catch (...) {
    if (onException_) {
      TryOrIgnore([&] { onException_(std::current_exception()); });
    }
  }
}

}  // namespace calvera::service
