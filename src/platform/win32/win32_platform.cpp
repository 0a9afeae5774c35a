// Placeholder until the real implementation lands.
#include "platform/win32/win32_platform.h"
