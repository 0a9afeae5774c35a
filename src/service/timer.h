// A window timer that calls its handler on the thread that created it.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <thread>
#include <utility>

#include "platform/scoped_handle.h"
#include "platform/windowing.h"

namespace calvera::service {

// Owns a hidden message-only window on the thread that creates it (the owner thread) and
// platform timer 1 on that window. Window timers belong to the window's thread, so a switch
// made on any other thread is carried over to the owner thread as a message; the switch is
// recorded at once, and from then on no expiry starts the handler while the timer is off.
class TTimer final : private platform::WindowProcedure {
 public:
  using TNotifyEvent = std::function<void(TTimer& sender)>;
  // Receives a failure that escaped the handler; on the owner thread.
  using TExceptionEvent = std::function<void(std::exception_ptr failure)>;

  // Interval 1000 ms, enabled, no handler, so not armed yet. Throws when the window cannot
  // be created.
  explicit TTimer(platform::Windowing& windowing);
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  // Cancels the timer and destroys its window. Owner thread.
  ~TTimer() override;

  bool Enabled() const { return enabled_.load(); }
  // Setting the value it has does nothing. Otherwise the platform timer is cancelled and,
  // when the interval is not 0, the timer is enabled and a handler is set, armed again.
  // Any thread. On the owner thread a timer that cannot be armed throws "Not enough timers
  // available", the new value staying stored; from another thread the arming happens later
  // on the owner thread, where such a failure leaves the timer unarmed without a word. The
  // other thread gets the failure only when the switch cannot be handed over.
  void SetEnabled(bool enabled);
  std::uint32_t Interval() const { return interval_; }
  // As `SetEnabled`; owner thread.
  void SetInterval(std::uint32_t milliseconds);
  // Called with the timer on each expiry, on the owner thread. Setting it cancels and re-arms
  // as `SetEnabled` does; owner thread.
  void SetOnTimer(TNotifyEvent handler);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  // Without one, failures that escape the handler are dropped. Owner thread.
  void SetOnException(TExceptionEvent handler) { onException_ = std::move(handler); }

  platform::WindowHandle Window() const { return window_.get(); }

 private:
  bool HandleMessage(std::uint32_t message,
                     std::uintptr_t wParam,
                     std::intptr_t lParam) noexcept override;
  bool OnOwnerThread() const;
  // Cancels and re-arms by the arming rule, for the given enabled state. Owner thread.
  void UpdateTimer(bool enabled);
  void Tick() noexcept;

  platform::Windowing& windowing_;
  std::thread::id owner_;
  platform::ScopedWindow window_;
  std::atomic<bool> enabled_{true};
  std::uint32_t interval_ = 1000;
  TNotifyEvent onTimer_;
  TExceptionEvent onException_;
};

}  // namespace calvera::service
