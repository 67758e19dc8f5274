#include "update/apply.h"

#include <unordered_set>

#include "ui/string_table.h"
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

// Holds the file stage open while it lives, so that the process does not end between the two
// moves of a replacement; entered() is false when the process is already ending.
class FileStage {
 public:
  explicit FileStage(IUpdatePlatform& platform) : m_platform(platform), m_entered(platform.EnterFileStage()) {}
  ~FileStage() {
    if (m_entered) m_platform.LeaveFileStage();
  }
  FileStage(const FileStage&) = delete;
  FileStage& operator=(const FileStage&) = delete;
  bool entered() const { return m_entered; }

 private:
  IUpdatePlatform& m_platform;
  bool m_entered;
};

// The form in which two spellings of one file compare equal as Windows sees them: either
// separator, letters A-Z in either case.
std::wstring SameFileKey(const std::wstring& path) {
  std::wstring key = path;
  for (wchar_t& c : key) {
    if (c == L'/') c = L'\\';
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return key;
}

}  // namespace

int32_t ApplyUpdate(CUpdateContext& context, IUpdatePlatform& platform) {
  const int32_t closed = CloseRunningProduct(platform);
  if (closed != RESULT_OK) return closed;
  FileStage stage(platform);
  if (!stage.entered()) return RESULT_USER_CANCELLED;  // the window was closed meanwhile
  return ReplaceFiles(context, platform);
}

int32_t ReplaceFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  const std::wstring lineFormat = StringTable::Get(L"pro_update_file_dds");
  const int count = static_cast<int>(context.files.size());
  // Targets that already have their entry in backups, in any spelling of the same file (a set,
  // so that long manifests stay linear).
  std::unordered_set<std::wstring> recorded;
  for (const BackupEntry& entry : context.backups) recorded.insert(SameFileKey(entry.target));

  for (int i = 0; i < count; ++i) {
    const UpdateFileEntry& entry = context.files[static_cast<size_t>(i)];
    PostStatusText(platform, lineFormat.c_str(), i + 1, count,
                   NameForStatus(FileNameOfPath(entry.path)).c_str());

    if (!recorded.insert(SameFileKey(entry.path)).second) {
      // Listed again: the file now holds this run's earlier content, and the original is
      // already recorded (at its .bak, or as a file that did not exist). Backing it up again
      // would overwrite the only copy of the original.
      if (!platform.MoveReplace(entry.tmp, entry.path)) return RESULT_MOVE_FAILED;
    } else if (platform.PathExists(entry.path)) {
      const std::wstring backup = entry.path + L".bak";
      if (!platform.MoveReplace(entry.path, backup)) return RESULT_MOVE_FAILED;
      context.backups.push_back({entry.path, backup});
      if (!platform.MoveReplace(entry.tmp, entry.path)) return RESULT_MOVE_FAILED;
    } else {
      context.backups.push_back({entry.path, std::wstring()});
      platform.CreateDirectoryChain(entry.path);
      if (!platform.MoveReplace(entry.tmp, entry.path)) return RESULT_MOVE_FAILED;
    }
  }

  for (const BackupEntry& entry : context.backups) {
    if (platform.PathExists(entry.backup)) platform.RemoveFile(entry.backup);
  }
  platform.PostToMainWindow(WM_UPDATE_PROGRESS, 100);
  PostStatusText(platform, StringTable::Get(L"pro_update_finished").c_str());
  return RESULT_OK;
}

void RollbackFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  FileStage stage(platform);
  if (!stage.entered()) return;
  const std::wstring lineFormat = StringTable::Get(L"pro_rollback_dds");
  const int count = static_cast<int>(context.backups.size());

  for (int k = 0; k < count; ++k) {
    const BackupEntry& entry = context.backups[static_cast<size_t>(k)];
    PostStatusText(platform, lineFormat.c_str(), k + 1, count,
                   NameForStatus(NameAfterBackslash(entry.target)).c_str());
    const std::wstring parked = entry.target + L".tmp";

    if (!entry.backup.empty()) {
      const bool targetParked = platform.MoveReplace(entry.target, parked);
      if (platform.MoveReplace(entry.backup, entry.target)) {
        platform.RemoveFile(parked);
      } else if (targetParked) {
        // The original could not come back and stays at its backup; the target gets back
        // what it held instead of losing it with the parked file.
        platform.MoveReplace(parked, entry.target);
      }
    } else if (platform.PathExists(entry.target)) {
      platform.MoveReplace(entry.target, parked);
      platform.RemoveFile(parked);
    }
    platform.Sleep(kRollbackPauseMs);
  }
}

}  // namespace zr
