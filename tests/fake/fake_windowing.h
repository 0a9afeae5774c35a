// Fake hidden windows, timers and message loops that keep Windows' thread rules: each window
// belongs to the thread that created it, each thread has its own message queue, timers can
// only be set and killed by the window's thread, and WM_TIMER comes only while a timer is
// armed. Timers expire when the test says so (`ElapseTimers`), never by themselves.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "fake/handle_values.h"
#include "platform/windowing.h"

namespace calvera::fake {

class FakeWindowing : public platform::Windowing {
 public:
  enum class TimerCall { kSet, kKill };

  // One SetTimer or KillTimer as the system made it.
  struct TimerEvent {
    TimerCall call;
    platform::WindowHandle window;
    std::uintptr_t timerId;
    std::uint32_t milliseconds;  // 0 for kKill
    bool onOwnerThread;
    bool succeeded;
  };

  // platform::Windowing
  platform::WindowHandle CreateMessageWindow(platform::WindowProcedure* procedure) override;
  // Only on the window's thread; drops the window's timers and waiting messages.
  void DestroyWindow(platform::WindowHandle window) override;
  // Fail on a thread other than the window's, as on Windows.
  bool SetTimer(platform::WindowHandle window,
                std::uintptr_t timerId,
                std::uint32_t milliseconds) override;
  // Leaves a WM_TIMER that is already queued where it is, as KillTimer does.
  void KillTimer(platform::WindowHandle window, std::uintptr_t timerId) override;
  // A null window posts to the calling thread's own queue, as PostMessageW does.
  bool PostToWindow(platform::WindowHandle window,
                    std::uint32_t message,
                    std::uintptr_t wParam,
                    std::intptr_t lParam) override;
  bool WaitForMessage(platform::WindowMessage* message) override;
  // Reaches the window procedure only on the window's thread.
  void DispatchToWindow(const platform::WindowMessage& message) override;

  // Later calls fail until cleared; window creation only for the next `times` calls when
  // that is not -1.
  void FailCreateWindow(bool fails, int times = -1);
  void FailSetTimer(bool fails);
  void FailPostMessage(bool fails);

  // Queues a WM_TIMER (wParam the timer ID) for every armed timer that has none queued, as if
  // its interval had passed. Returns how many were queued.
  int ElapseTimers();
  // Dispatches what waits in the calling thread's queue without waiting; returns how many
  // messages were dispatched. A WM_QUIT stays queued and ends the run.
  int DispatchPending();
  // Waits until the thread that owns `window` waits in WaitForMessage with nothing queued, so
  // everything posted to it before has been handled.
  bool WaitUntilIdle(platform::WindowHandle window, std::chrono::milliseconds timeout);

  bool WindowExists(platform::WindowHandle window) const;
  std::size_t WindowCount() const;
  std::optional<std::thread::id> WindowOwner(platform::WindowHandle window) const;
  // The armed interval, or none when the timer is not armed.
  std::optional<std::uint32_t> ArmedInterval(platform::WindowHandle window,
                                             std::uintptr_t timerId) const;
  bool WaitUntilArmed(platform::WindowHandle window,
                      std::uintptr_t timerId,
                      bool armed,
                      std::chrono::milliseconds timeout);
  std::vector<TimerEvent> TimerEvents() const;
  void ClearTimerEvents();
  // Every message that reached a window procedure, in order.
  std::vector<platform::WindowMessage> Dispatched() const;

 private:
  struct Window {
    std::thread::id owner;
    platform::WindowProcedure* procedure;
    std::map<std::uintptr_t, std::uint32_t> timers;  // armed: ID to interval
  };
  struct ThreadQueue {
    std::deque<platform::WindowMessage> messages;
    std::condition_variable posted;
    bool waiting = false;
  };

  ThreadQueue& QueueOf(std::thread::id thread);                                  // under mutex_
  bool IsIdle(std::thread::id thread) const;                                     // under mutex_
  void Enqueue(std::thread::id thread, const platform::WindowMessage& message);  // under mutex_

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<platform::WindowHandle, Window> windows_;
  std::map<std::thread::id, ThreadQueue> queues_;
  HandleValues<platform::WindowHandle> windowValues_{0x3000};
  int failCreateWindow_ = 0;  // calls left to fail, -1: without end
  bool failSetTimer_ = false;
  bool failPostMessage_ = false;
  std::vector<TimerEvent> timerEvents_;
  std::vector<platform::WindowMessage> dispatched_;
};

}  // namespace calvera::fake
