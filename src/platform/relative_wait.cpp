#include "platform/relative_wait.h"

#if defined(__MINGW32__)
#include <pthread.h>

#include <ctime>
#endif

namespace calvera::platform {

void WaitAtMost(std::condition_variable& condition,
                std::unique_lock<std::mutex>& lock,
                std::chrono::nanoseconds limit) {
  if (limit <= std::chrono::nanoseconds::zero())
    return;
#if defined(__MINGW32__)
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
  timespec interval{};
  interval.tv_sec = static_cast<time_t>(seconds.count());
  interval.tv_nsec = static_cast<long>((limit - seconds).count());
  // Its result is that of the wait: a timeout and a wake-up look alike to the caller's loop.
  static_cast<void>(pthread_cond_timedwait_relative_np(condition.native_handle(),
                                                       lock.mutex()->native_handle(), &interval));
#else
  static_cast<void>(condition.wait_for(lock, limit));
#endif
}

}  // namespace calvera::platform
