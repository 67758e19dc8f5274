#include "update/entry_check.h"

#include "ui/string_table.h"
#include "update/file_set.h"
#include "update/outcome.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"
#include "util/text.h"

namespace zr {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of "\\server\share\" at the start of the path; 0 when it has none. The server "."
// or "?" would make it a device path.
size_t UncRootLength(const std::wstring& path) {
  if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1])) return 0;
  size_t i = 2;
  for (int part = 0; part < 2; ++part) {
    const size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    if (i == start || i == path.size()) return 0;
    if (part == 0 && path.compare(start, i - start, L".") == 0) return 0;
    ++i;
  }
  return i;
}

// True when the path is the backup (".bak") or parking (".tmp") name of one of the targets.
bool IsRunFileOfATarget(IFileSystem& files, const CFileSet& targets, const std::wstring& full) {
  constexpr size_t kSuffix = 4;
  if (full.size() <= kSuffix) return false;
  const std::wstring suffix = full.substr(full.size() - kSuffix);
  if (files.ComparePaths(suffix, L".bak") != 0 && files.ComparePaths(suffix, L".tmp") != 0) return false;
  return targets.Contains(full.substr(0, full.size() - kSuffix));
}

// The target's way down from the installation: every directory that exists on it is a plain
// directory (a link or junction would lead the file elsewhere; a file stops it).
bool PlainWayDown(CInstallationPaths& installation, const std::wstring& full) {
  for (size_t i = installation.Directory().size() + 1; i < full.size(); ++i) {
    if (full[i] != L'\\') continue;
    const PathKind kind = installation.DirectoryKind(full.substr(0, i));
    if (kind == PathKind::kMissing) return true;  // the rest is created by the run
    if (kind != PathKind::kDirectory) return false;
  }
  return true;
}

}  // namespace

bool IsFullFilePath(const std::wstring& path) {
  if (path.empty() || IsSeparator(path.back())) return false;
  size_t rest = UncRootLength(path);
  if (rest == 0) {
    if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != L':' || !IsSeparator(path[2])) return false;
    rest = 3;
  }
  for (size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*') return false;
    if (c == L':' && i >= rest) return false;
  }
  return true;
}

int32_t CheckFileEntries(const CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const size_t count = context.files.size();
  CInstallationPaths installation(files);
  CFileSet targets(files);
  for (const UpdateFileEntry& entry : context.files) {
    if (IsFullFilePath(entry.path)) targets.Insert(entry.path);
  }

  CFileSet staged(files);
  for (size_t i = 0; i < count; ++i) {
    const UpdateFileEntry& entry = context.files[i];
    bool usable = IsFullFilePath(entry.tmp) && IsFullFilePath(entry.path);
    if (usable) {
      const std::wstring tmp = files.FullPath(entry.tmp);
      const std::wstring path = files.FullPath(entry.path);
      const PathKind target = files.Inspect(path);
      usable = installation.Contains(path) && PlainWayDown(installation, path) && target != PathKind::kDirectory &&
               target != PathKind::kDirectoryLink && !installation.IsOwnFile(path) &&
               !IsRunFileOfATarget(files, targets, path) &&
               (!installation.Contains(tmp) || installation.InUpdateCache(tmp)) &&
               files.Inspect(tmp) == PathKind::kFile && !targets.Contains(tmp) && staged.Insert(tmp) &&
               !installation.IsOwnFile(tmp) && !IsRunFileOfATarget(files, targets, tmp);
    }
    if (!usable) {
      PostStatusText(platform, StringTable::Get(L"pro_update_file_dds").c_str(), static_cast<int>(i + 1),
                     static_cast<int>(count), WideToUtf8(FileNameOfPath(entry.path)).c_str());
      return RESULT_MOVE_FAILED;
    }
  }
  return RESULT_OK;
}

}  // namespace zr
