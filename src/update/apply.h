// Applying the staged files and undoing a failed attempt. Runs on the worker thread.
#pragma once

#include <cstdint>

namespace zr {

class IUpdatePlatform;
struct CUpdateContext;

// Closes the running product, then replaces the files. RESULT_OK, RESULT_MOVE_FAILED, or the
// closing stage's RESULT_USER_CANCELLED / RESULT_CLOSE_FAILED (no file touched then). The
// replacing runs inside the platform's file stage, so the process cannot end half-way; when
// the process is already ending the files are left alone (RESULT_USER_CANCELLED).
int32_t ApplyUpdate(CUpdateContext& context, IUpdatePlatform& platform);

// The replacing stage alone: each existing target is moved to target + ".bak" (recorded in
// context.backups) and the staged file moved onto it; new files get their directories. The
// first failed move returns RESULT_MOVE_FAILED. On success the backups of this run are deleted
// and progress 100 and "pro_update_finished" are posted.
//
// A target listed twice (also as another spelling of the same file: "/" in place of "\", letters
// A-Z in another case) keeps the one backup of its original content: the later entry replaces
// the file without backing up the intermediate content, so rollback still restores the
// original.
int32_t ReplaceFiles(CUpdateContext& context, IUpdatePlatform& platform);

// Restores every recorded file, first to last: a replaced target is parked at target + ".tmp",
// its backup moved back, and the parked file deleted; a created target is deleted. When the
// backup cannot be moved back, the parked file returns to the target instead of being
// deleted: rollback never destroys content that exists nowhere else. 10 ms pause per entry.
// Runs inside the file stage like the replacing.
void RollbackFiles(CUpdateContext& context, IUpdatePlatform& platform);

}  // namespace zr
