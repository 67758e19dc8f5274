#include "update/restore.h"

#include <algorithm>

namespace zr {
namespace {

bool Contains(const std::vector<FileIdentity>& identities, const FileIdentity& identity) {
  return std::find(identities.begin(), identities.end(), identity) != identities.end();
}

// What the run may find at one planned file's four names.
struct Scene {
  bool target = false, backup = false, parking = false, copy = false;  // a file is there
  FileIdentity atTarget, atBackup, atParking, atCopy;
};

Scene Look(IFileSystem& files, const PlannedFile& file) {
  Scene scene;
  scene.target = files.Identify(file.target, scene.atTarget);
  scene.backup = file.existed && files.Identify(file.backup, scene.atBackup);
  scene.parking = files.Identify(file.parking, scene.atParking);
  scene.copy = !file.copy.empty() && files.Identify(file.copy, scene.atCopy);
  return scene;
}

bool OriginalAtBackup(const PlannedFile& file, const Scene& scene) {
  return scene.backup && scene.atBackup == file.original;
}
bool ParkedByTheRun(const PlannedFile& file, const Scene& scene) {
  return scene.parking && Contains(file.replacements, scene.atParking);
}
// A copy is given its full size before any byte goes in: cut short, it keeps the size of what it
// copies (or none at all, when even that failed).
bool CopiedByTheRun(const PlannedFile& file, const Scene& scene) {
  return scene.copy && (scene.atCopy.size == 0 ||
                        std::any_of(file.replacements.begin(), file.replacements.end(),
                                    [&](const FileIdentity& identity) { return identity.size == scene.atCopy.size; }));
}
bool NewAtTarget(const PlannedFile& file, const Scene& scene) {
  return scene.target && Contains(file.replacements, scene.atTarget);
}
bool OriginalAtTarget(const PlannedFile& file, const Scene& scene) {
  return file.existed && scene.target && scene.atTarget == file.original;
}

FileStanding StandingIn(const PlannedFile& file, const Scene& scene) {
  const bool leftBeside = OriginalAtBackup(file, scene) || ParkedByTheRun(file, scene) || CopiedByTheRun(file, scene);
  if (OriginalAtTarget(file, scene)) return leftBeside ? FileStanding::kTouched : FileStanding::kOld;
  if (NewAtTarget(file, scene)) {
    return !file.existed || OriginalAtBackup(file, scene) ? FileStanding::kTouched : FileStanding::kLost;
  }
  if (scene.target) return FileStanding::kForeign;
  if (file.existed) return OriginalAtBackup(file, scene) ? FileStanding::kTouched : FileStanding::kLost;
  return leftBeside ? FileStanding::kTouched : FileStanding::kOld;
}

// Moves what the run put at the target to the parking name, which is the run's: free when it
// planned, or holding a file it parked. False when it stays.
bool Park(IFileSystem& files, const PlannedFile& file, const Scene& scene) {
  return (!scene.parking || ParkedByTheRun(file, scene)) && files.MoveReplace(file.target, file.parking);
}

}  // namespace

FileStanding StandingOf(IFileSystem& files, const PlannedFile& file) { return StandingIn(file, Look(files, file)); }

RestoreResult RestoreFile(IFileSystem& files, const PlannedFile& file) {
  Scene scene = Look(files, file);
  if (StandingIn(file, scene) == FileStanding::kOld) return RestoreResult::kUntouched;
  if (StandingIn(file, scene) != FileStanding::kTouched) return RestoreResult::kStuck;
  // A copy is never the only place of anything (its staged file goes only once it is in place).
  if (CopiedByTheRun(file, scene) && files.RemoveFile(file.copy)) scene = Look(files, file);

  if (NewAtTarget(file, scene) && !file.existed) {
    if (Park(files, file, scene)) files.RemoveFile(file.parking);
  } else if (NewAtTarget(file, scene) && OriginalAtBackup(file, scene)) {
    // (A target that looks new with no original at the backup is the original itself: the
    // replacement had the original's size and time.)
    if (!Park(files, file, scene)) return RestoreResult::kStuck;
    if (!files.MoveReplace(file.backup, file.target)) {
      // The original cannot come back and stays at its backup; the target gets back what it
      // held rather than losing it with the parked file.
      files.MoveReplace(file.parking, file.target);
      return RestoreResult::kStuck;
    }
    files.RemoveFile(file.parking);
  } else if (!scene.target && OriginalAtBackup(file, scene)) {
    if (!files.MoveReplace(file.backup, file.target)) return RestoreResult::kStuck;
  }
  // What is left beside an old target: a parked file, or a copy of the original at the backup
  // (a move that landed although it was reported failed).
  scene = Look(files, file);
  if (OriginalAtTarget(file, scene) || !scene.target) {
    if (ParkedByTheRun(file, scene)) files.RemoveFile(file.parking);
    if (OriginalAtTarget(file, scene) && OriginalAtBackup(file, scene)) files.RemoveFile(file.backup);
  }
  return StandingOf(files, file) == FileStanding::kOld ? RestoreResult::kRestored : RestoreResult::kStuck;
}

std::vector<Leftover> DeleteLeftovers(IFileSystem& files, const Journal& journal) {
  std::vector<Leftover> candidates = journal.leftovers;
  for (const PlannedFile& file : journal.files) {
    if (file.existed) candidates.push_back({file.backup, file.original});
  }
  std::vector<Leftover> remaining;
  for (const Leftover& leftover : candidates) {
    FileIdentity identity;
    // A file that is no longer the one recorded is someone else's now.
    if (!files.Identify(leftover.path, identity) || identity != leftover.identity) continue;
    if (!files.RemoveFile(leftover.path)) remaining.push_back(leftover);
  }
  return remaining;
}

}  // namespace zr
