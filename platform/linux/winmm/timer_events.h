// What the tests read back of the multimedia timer: not for the program.
#pragma once

#include "platform/linux/win32_types.h"

// The delay in milliseconds that a pending event was armed with; 0 when no
// event of that id is pending.
UINT pendingEventDelay(UINT timerId);
