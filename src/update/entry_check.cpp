#include "update/entry_check.h"

#include <algorithm>
#include <vector>

#include "update/file_set.h"
#include "update/md5.h"
#include "update/md5_hasher.h"
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

// "entry 2/3 "C:\...\cache\update\b.new" -> "C:\...\b.dll"", as the record names an entry.
std::string EntryText(size_t index, size_t count, const UpdateFileEntry& entry) {
  return "entry " + std::to_string(index + 1) + "/" + std::to_string(count) + " " + RecordPath(entry.tmp) + " -> " +
         RecordPath(entry.path);
}

// Why an entry cannot be applied, in the record's words; null when it can. The staged file is
// added to `staged` on the way.
const char* RefusalOf(const UpdateFileEntry& entry, IFileSystem& files, CInstallationPaths& installation,
                      const CFileSet& targets, CFileSet& staged) {
  if (!IsFullFilePath(entry.tmp) || !IsFullFilePath(entry.path)) return "not two full file paths";
  const std::wstring tmp = files.FullPath(entry.tmp);
  const std::wstring path = files.FullPath(entry.path);
  const PathKind target = files.Inspect(path);
  if (!installation.Contains(path)) return "the target is not inside the updater's folder";
  if (!PlainWayDown(installation, path)) return "a folder on the way to the target is a link or a file";
  if (target == PathKind::kDirectory || target == PathKind::kDirectoryLink) return "the target is a folder";
  if (installation.IsOwnFile(path)) return "the target is a file of the updater's own";
  if (IsRunFileOfATarget(files, targets, path)) return "the target is the backup or parking name of a target";
  if (installation.Contains(tmp) && !installation.InUpdateCache(tmp)) {
    return "the staged file lies in the installation, outside cache\\update";
  }
  if (files.Inspect(tmp) != PathKind::kFile) return "the staged file is missing or no file";
  if (targets.Contains(tmp)) return "the staged file is also a target";
  if (!staged.Insert(tmp)) return "the staged file is listed twice";
  if (installation.IsOwnFile(tmp)) return "the staged file is a file of the updater's own";
  if (IsRunFileOfATarget(files, targets, tmp)) return "the staged file is the backup or parking name of a target";
  return nullptr;
}

// Reports the bar's position for the bytes read so far, when it moves.
class CByteProgress {
 public:
  CByteProgress(IUpdateEvents& events, uint64_t total) : m_events(events), m_total(total) {}
  void Add(size_t bytes) {
    m_done += bytes;
    const int64_t position = m_total == 0 ? 100 : static_cast<int64_t>(std::min<uint64_t>(m_done, m_total) * 100 / m_total);
    if (position != m_position) ReportProgress(m_events, m_position = position);
  }

 private:
  IUpdateEvents& m_events;
  uint64_t m_total;
  uint64_t m_done = 0;
  int64_t m_position = 0;
};

// Staged files of this many bytes in all are hashed on a thread of their own while they are read.
constexpr uint64_t kHashOnAThreadBytes = 4 << 20;

// At most this many entries whose md5 is not checked are named in the record, one line each.
constexpr size_t kMostUncheckedLines = 10;

// The staged file of every entry with an md5 value is read through and its MD5 compared, the
// bar following the bytes read; the first that differs, or cannot be read, refuses the run.
UpdateOutcome VerifyStagedFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  const size_t count = context.files.size();
  std::vector<size_t> checked;
  uint64_t total = 0;
  size_t unchecked = 0;
  for (size_t i = 0; i < count; ++i) {
    const UpdateFileEntry& entry = context.files[i];
    if (IsMd5Value(entry.md5)) {
      checked.push_back(i);
      FileIdentity identity;
      if (files.Identify(entry.tmp, identity)) total += identity.size;
    } else if (!entry.md5.empty() && ++unchecked <= kMostUncheckedLines) {
      platform.Record(EntryText(i, count, entry) + ": md5 not checked, " + RecordValue(entry.md5) +
                      " is not 32 hexadecimal digits");
    }
  }
  if (unchecked > kMostUncheckedLines) {
    platform.Record("md5 not checked, not 32 hexadecimal digits, in more entries: " +
                    std::to_string(unchecked - kMostUncheckedLines));
  }
  context.verified.clear();
  if (checked.empty()) return UpdateOutcome::kOk;

  platform.Record("checking md5: staged files " + std::to_string(checked.size()) + ", bytes " + std::to_string(total));
  CByteProgress progress(platform, total);
  ReportProgress(platform, 0);
  // The files are read here and hashed on the hasher's thread meanwhile; their digests are
  // compared in order as they come, so the first file that differs is the one refused.
  CMd5Hasher hasher(total >= kHashOnAThreadBytes);
  size_t compared = 0;  // of `checked`
  const auto refuse = [&](size_t i, const std::string& why) {
    platform.Record(EntryText(i, count, context.files[i]) + ": refused, " + why);
    PostEntryLine(platform, platform.Texts(), L"pro_verify_md5_error", i, count,
                  FileNameOfPath(context.files[i].path));
    return UpdateOutcome::kCheckRefused;
  };
  // Compares the digests that are ready (with `wait`, those of every file read through); false
  // when one differs, which is then refused.
  const auto compareDigests = [&](bool wait) {
    std::string actual;
    while (hasher.TakeDigest(actual, wait)) {
      const size_t i = checked[compared++];
      const UpdateFileEntry& entry = context.files[i];
      if (!SameMd5(actual, entry.md5)) {
        refuse(i, "the staged file's md5 is " + actual + ", the manifest's " + entry.md5);
        return false;
      }
      FileIdentity identity;
      if (files.Identify(entry.tmp, identity)) context.verified[i] = identity;
    }
    return true;
  };
  for (const size_t i : checked) {
    const UpdateFileEntry& entry = context.files[i];
    PostEntryLine(platform, platform.Texts(), L"pro_verifying_dds", i, count, FileNameOfPath(entry.path));
    const bool read = files.ReadPieces(entry.tmp, [&](const char* data, size_t size) {
      hasher.Add(data, size);
      progress.Add(size);
    });
    if (!read) {
      const uint32_t error = files.LastError();
      if (!compareDigests(true)) return UpdateOutcome::kCheckRefused;  // an earlier file differs
      return refuse(i, "the staged file cannot be read through: " + RecordError(error));
    }
    hasher.EndFile();
    if (!compareDigests(false)) return UpdateOutcome::kCheckRefused;
  }
  if (!compareDigests(true)) return UpdateOutcome::kCheckRefused;
  platform.Record("md5 verified: staged files " + std::to_string(checked.size()));
  ReportProgress(platform, 0);  // the next step fills the bar anew
  return UpdateOutcome::kOk;
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

UpdateOutcome CheckFileEntries(CUpdateContext& context, IUpdatePlatform& platform) {
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
    const char* refusal = RefusalOf(entry, files, installation, targets, staged);
    if (refusal != nullptr) {
      platform.Record(EntryText(i, count, entry) + ": refused, " + refusal);
      PostEntryLine(platform, platform.Texts(), L"pro_update_file_dds", i, count, FileNameOfPath(entry.path));
      return UpdateOutcome::kCheckRefused;
    }
  }
  return VerifyStagedFiles(context, platform);
}

}  // namespace zr
