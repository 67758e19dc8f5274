// The update worker: one background thread that carries an update from start to end and
// reports to the main window only through the run's event queue (update_events.h) and modal
// boxes.
#pragma once

#include <string>

#include "update/outcome.h"

namespace zr {

class IUpdatePlatform;
struct CUpdateContext;

// Deletes "<updater directory>\cache\update\" with everything in it, unless "cache" or
// "cache\update" is a link (a folder reached through one is never emptied).
void ClearUpdateCache(IUpdatePlatform& platform);

// The whole run. First a journal left by a run that was cut short is finished (when that
// cannot be done the run ends there, after the failure box and the usage report). Then attempts of reading the
// manifest (retry as often as the user asks), then applying; on failure the failure box,
// rollback, cache removal and the usage report. Reports "succeeded" on success and "finished"
// on every other end. Returns how the run ended. A std::exception thrown by any step ends
// the run as that step's failure does (a replacement is rolled back), never past here.
UpdateOutcome RunUpdate(CUpdateContext& context, IUpdatePlatform& platform, const std::wstring& configPath);

}  // namespace zr
