// The two process-wide flags that the window, the automation timer and the
// workers share without a lock.
#pragma once

#include "engine/scan_context.h"

namespace tavik {

// 0 = run, 1 = stop requested: cleared by whatever starts a scan or fix
// worker, set by the Stop command.
extern SharedFlag StopRequested;
// 0 while the program runs interactively, non-zero under a controlling
// program.
extern SharedFlag AutomationMode;

}  // namespace tavik
