#include "update/apply.h"

#include <set>

#include "ui/string_table.h"
#include "update/journal.h"
#include "update/outcome.h"
#include "update/platform.h"
#include "update/product_close.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr uint32_t kRollbackPauseMs = 10;

// The status lines carry file names as UTF-8, like their formats.
std::string NameForStatus(const std::wstring& name) { return WideToUtf8(name); }

// The rollback line shows the part after the last backslash only.
std::wstring NameAfterBackslash(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
}

// Full paths ordered as the file system tells names apart, so that every spelling of one
// file is one element.
class CFileSet {
 public:
  explicit CFileSet(IFileSystem& files) : m_files(files), m_set(Less{&files}) {}
  // Inserts the file a path names; false when it was there already.
  bool Insert(const std::wstring& path) { return m_set.insert(m_files.FullPath(path)).second; }
  bool Contains(const std::wstring& path) const { return m_set.count(m_files.FullPath(path)) != 0; }

 private:
  struct Less {
    IFileSystem* files;
    bool operator()(const std::wstring& a, const std::wstring& b) const {
      return files->ComparePaths(a, b) < 0;
    }
  };
  IFileSystem& m_files;
  std::set<std::wstring, Less> m_set;
};

// True when the path is the backup (".bak") or parking (".tmp") name of one of the targets.
bool IsRunFileOfATarget(IFileSystem& files, const CFileSet& targets, const std::wstring& path) {
  const std::wstring full = files.FullPath(path);
  constexpr size_t kSuffix = 4;
  if (full.size() <= kSuffix) return false;
  const std::wstring suffix = full.substr(full.size() - kSuffix);
  if (files.ComparePaths(suffix, L".bak") != 0 && files.ComparePaths(suffix, L".tmp") != 0) return false;
  return targets.Contains(full.substr(0, full.size() - kSuffix));
}

void PostEntryLine(IUpdatePlatform& platform, const std::wstring& format, size_t index, size_t count,
                   const std::wstring& name) {
  PostStatusText(platform, format.c_str(), static_cast<int>(index + 1), static_cast<int>(count),
                 NameForStatus(name).c_str());
}

// Restores the entries first to last with the rollback's status lines; true when every one is
// old again. Each file put back is followed by a short pause that lets the window show its
// line; entries with nothing to put back, and an ending process, which has no window to show
// it, go without.
bool RestoreEntries(IUpdatePlatform& platform, const std::vector<JournalEntry>& entries) {
  IFileSystem& files = platform.Files();
  const std::wstring lineFormat = StringTable::Get(L"pro_rollback_dds");
  bool whole = true;
  for (size_t k = 0; k < entries.size(); ++k) {
    PostEntryLine(platform, lineFormat, k, entries.size(), NameAfterBackslash(entries[k].target));
    const RestoreResult result = RestoreEntry(files, entries[k]);
    if (result == RestoreResult::kStuck) whole = false;
    if (result != RestoreResult::kUntouched && !platform.ProcessEnding()) platform.Sleep(kRollbackPauseMs);
  }
  return whole;
}

}  // namespace

CFileStage::~CFileStage() {
  if (m_entered) m_platform.LeaveFileStage();
}

bool CFileStage::Enter() {
  if (!m_entered) m_entered = m_platform.EnterFileStage();
  return m_entered;
}

int32_t CheckFileEntries(const CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const size_t count = context.files.size();
  CFileSet targets(files);
  for (const UpdateFileEntry& entry : context.files) targets.Insert(entry.path);

  CFileSet staged(files);
  for (size_t i = 0; i < count; ++i) {
    const UpdateFileEntry& entry = context.files[i];
    const PathKind target = files.Inspect(entry.path);
    const bool usable = files.Inspect(entry.tmp) == PathKind::kFile &&
                        target != PathKind::kDirectory && target != PathKind::kDirectoryLink &&
                        !targets.Contains(entry.tmp) && staged.Insert(entry.tmp) &&
                        !IsRunFileOfATarget(files, targets, entry.path);
    if (!usable) {
      PostEntryLine(platform, StringTable::Get(L"pro_update_file_dds"), i, count, FileNameOfPath(entry.path));
      return RESULT_MOVE_FAILED;
    }
  }
  return RESULT_OK;
}

int32_t ApplyUpdate(CUpdateContext& context, IUpdatePlatform& platform, CFileStage& stage) {
  // A manifest that cannot be applied fails before the product is closed for it.
  const int32_t checked = CheckFileEntries(context, platform);
  if (checked != RESULT_OK) return checked;
  const int32_t closed = CloseRunningProduct(platform);
  if (closed != RESULT_OK) return closed;
  if (!stage.Enter()) return RESULT_USER_CANCELLED;  // the window was closed meanwhile
  return ReplaceFiles(context, platform);
}

int32_t ReplaceFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const size_t count = context.files.size();

  // The plan: which entries are the first of their file, and which of those replace one.
  // Targets already recorded (an earlier call in this run) count as seen.
  CFileSet seen(files);
  for (const BackupEntry& entry : context.backups) seen.Insert(entry.target);
  std::vector<bool> first(count);
  std::vector<JournalEntry> plan;
  for (size_t i = 0; i < count; ++i) {
    const std::wstring& path = context.files[i].path;
    first[i] = seen.Insert(path);
    if (first[i]) plan.push_back({path, files.Exists(path)});
  }
  // A backup beside an existing target is left from an earlier run; it goes now, so that a
  // backup on disk always holds this run's original.
  for (const JournalEntry& entry : plan) {
    if (entry.existed && files.Exists(entry.target + L".bak") && !files.RemoveFile(entry.target + L".bak")) {
      return RESULT_MOVE_FAILED;
    }
  }
  if (!WriteJournal(files, plan)) return RESULT_MOVE_FAILED;
  context.journalWritten = true;

  const std::wstring lineFormat = StringTable::Get(L"pro_update_file_dds");
  size_t planned = 0;
  intptr_t position = 0;
  for (size_t i = 0; i < count; ++i) {
    const UpdateFileEntry& entry = context.files[i];
    PostEntryLine(platform, lineFormat, i, count, FileNameOfPath(entry.path));

    if (!first[i]) {
      // Listed again: the file now holds this run's earlier content, and the original is
      // already recorded (at its .bak, or as a file that did not exist). Backing it up again
      // would overwrite the only copy of the original.
      if (!files.MoveReplace(entry.tmp, entry.path)) return RESULT_MOVE_FAILED;
    } else if (plan[planned++].existed) {
      const std::wstring backup = entry.path + L".bak";
      if (!files.MoveReplace(entry.path, backup)) return RESULT_MOVE_FAILED;
      context.backups.push_back({entry.path, backup});
      if (!files.MoveReplace(entry.tmp, entry.path)) return RESULT_MOVE_FAILED;
    } else {
      context.backups.push_back({entry.path, std::wstring()});
      files.CreateDirectoryChain(entry.path);
      if (!files.MoveReplace(entry.tmp, entry.path)) return RESULT_MOVE_FAILED;
    }
    // The bar follows the files done; 100 is posted once everything is in place.
    const intptr_t done = static_cast<intptr_t>((i + 1) * 100 / count);
    if (done != position && done < 100) platform.PostToMainWindow(WM_UPDATE_PROGRESS, position = done);
  }

  // Every file is in place: from here on an interrupted run is finished, not undone.
  if (!CommitJournal(files)) return RESULT_MOVE_FAILED;
  for (const BackupEntry& entry : context.backups) {
    if (!entry.backup.empty() && files.Exists(entry.backup)) files.RemoveFile(entry.backup);
  }
  RemoveJournal(files);
  context.journalWritten = false;
  platform.PostToMainWindow(WM_UPDATE_PROGRESS, 100);
  PostStatusText(platform, StringTable::Get(L"pro_update_finished").c_str());
  return RESULT_OK;
}

void RollbackFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  std::vector<JournalEntry> entries;
  for (const BackupEntry& entry : context.backups) entries.push_back({entry.target, !entry.backup.empty()});
  const bool whole = RestoreEntries(platform, entries);
  // With a file that could not come back the journal stays, and the next start tries again.
  if (whole && context.journalWritten && RemoveJournal(files)) context.journalWritten = false;
}

int32_t RecoverInterruptedRun(IUpdatePlatform& platform, CFileStage& stage) {
  IFileSystem& files = platform.Files();
  if (!files.Exists(JournalPath(files))) return RESULT_OK;
  const Journal journal = ReadJournal(files);
  if (journal.state == Journal::State::kNone) {
    // Cut off before its plan was complete, or not ours: nothing was moved under it.
    RemoveJournal(files);
    return RESULT_OK;
  }
  // The product may have been started from the half-updated installation.
  const int32_t closed = CloseRunningProduct(platform);
  if (closed != RESULT_OK) return closed;
  if (!stage.Enter()) return RESULT_USER_CANCELLED;

  bool whole = true;
  if (journal.state == Journal::State::kCommitted) {
    // Every file was in place: the installation is new; only backups may be left.
    for (const JournalEntry& entry : journal.entries) {
      if (entry.existed && files.Exists(entry.target + L".bak")) files.RemoveFile(entry.target + L".bak");
    }
  } else {
    whole = RestoreEntries(platform, journal.entries);
  }
  return whole && RemoveJournal(files) ? RESULT_OK : RESULT_MOVE_FAILED;
}

}  // namespace zr
