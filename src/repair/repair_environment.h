// What the fix and restore workers share with the rest of the program: the
// platform seams, the two process-wide flags and the window's ports. The
// window binds its Fix and Restore Registry buttons (and the automation link
// its fix request) to workers started with one of these.
#pragma once

#include "engine/scan_context.h"
#include "engine/ui_ports.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system_info.h"

namespace tavik {

class UndoLog;

struct RepairEnvironment {
  Registry& registry;
  FileSystem& files;
  SystemInfo& system;
  SharedFlag& stopRequested;
  SharedFlag& automationMode;
  ResultsView& results;
  WorkerHost& host;
  // Where the fix writes each entry before deleting it; none when null.
  UndoLog* undo = nullptr;
};

}  // namespace tavik
