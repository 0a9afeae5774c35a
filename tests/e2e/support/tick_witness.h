// Sees the running service's timer tick, through its update stamp: every tick first reads
// Updated and, when it reads 1, writes it back as 0 and then the time as UpdatedDate, before
// it decides anything. Ticks run one after the other on the service's main thread, so a second
// tick that has begun proves that the first has ended, launches included. One witness at a
// time per service, on the test's thread: each arms the same Updated value.
#pragma once

#include "e2e/support/deadline.h"
#include "e2e/support/settings_key.h"

namespace calvera::e2e {

class TickWitness {
 public:
  explicit TickWitness(const SettingsKey& settings) : settings_(settings) {}

  // Removes UpdatedDate, sets Updated to 1 and waits until a tick has cleared it and written
  // UpdatedDate anew: that tick began after this call and has made its stamp.
  // `took`, when given, receives how long that was.
  [[nodiscard]] bool WaitForTickBegun(Deadline deadline, Milliseconds* took = nullptr) const;
  // Two of those: a tick that began after this call has run to its end.
  [[nodiscard]] bool WaitForTickEnded(Deadline deadline) const;
  // Whether Updated, set to 1, stays 1 for `interval`: no tick ran in it. One tick already
  // due when the timer was switched off may still run; it is allowed once, and then the
  // interval starts again.
  [[nodiscard]] bool NoTickFor(Milliseconds interval) const;

 private:
  [[nodiscard]] bool Arm() const;
  bool Stamped() const;
  const SettingsKey& settings_;
};

}  // namespace calvera::e2e
