// A condition variable's wait with a relative limit that no calendar can disturb.
//
// The standard library's timed waits turn the limit into a deadline of the calendar clock in
// time_t seconds, and the i686 Windows toolchain's time_t is 32 bits: from January 2038 such a
// deadline lies in the past, and every wait would return at once. The Windows builds therefore
// hand the limit, as an interval, to the threading library's relative wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace calvera::platform {

// Waits on `condition` for at most `limit`, releasing `lock` (held on entry, held again on
// return) while waiting. May return early, as every condition wait may; callers loop on their
// predicate. Any thread.
void WaitAtMost(std::condition_variable& condition,
                std::unique_lock<std::mutex>& lock,
                std::chrono::nanoseconds limit);

}  // namespace calvera::platform
