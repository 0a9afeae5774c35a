#include "maintenance/maintenance_tick.h"

namespace calvera::maintenance {

MaintenanceTick::MaintenanceTick(platform::Platform& platform) : platform_(platform) {}

void MaintenanceTick::MainTimerTimer() noexcept {}

}  // namespace calvera::maintenance
