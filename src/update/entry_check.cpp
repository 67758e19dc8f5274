#include "update/entry_check.h"

#include <algorithm>
#include <vector>

#include "update/file_set.h"
#include "update/md5.h"
#include "update/platform.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"

namespace zr {
namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of "\\server\share\" at the start of the path; 0 when it has none. The server "."
// or "?" would make it a device path.
size_t UncRootLength(const std::wstring& path) {
  if (path.size() < 2 || !IsPathSeparator(path[0]) || !IsPathSeparator(path[1])) return 0;
  size_t i = 2;
  for (int part = 0; part < 2; ++part) {
    const size_t start = i;
    while (i < path.size() && !IsPathSeparator(path[i])) ++i;
    if (i == start || i == path.size()) return 0;
    if (part == 0 && path.compare(start, i - start, L".") == 0) return 0;
    ++i;
  }
  return i;
}

// A full file path, as CheckFileEntries (entry_check.h) requires.
bool IsFullFilePath(const std::wstring& path) {
  if (path.empty() || IsPathSeparator(path.back())) return false;
  size_t rest = UncRootLength(path);
  if (rest == 0) {
    if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != L':' || !IsPathSeparator(path[2])) return false;
    rest = 3;
  }
  for (size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*') return false;
    if (c == L':' && i >= rest) return false;
  }
  return true;
}

// The names the run may give a file beside a target: target + one of these, or target + ".N" +
// one of these (".2.bak" when ".bak" is taken).
constexpr const wchar_t* kRunSuffixes[] = {L".bak", L".tmp", L".new"};

// True when the path is a backup, parking or copy name the run may make beside one of the targets.
bool IsRunNameOfATarget(IFileSystem& files, const CFileSet& targets, const std::wstring& full) {
  constexpr size_t kSuffix = 4;
  if (full.size() <= kSuffix) return false;
  const std::wstring suffix = full.substr(full.size() - kSuffix);
  const auto isSuffix = [&](const wchar_t* runSuffix) { return files.ComparePaths(suffix, runSuffix) == 0; };
  if (std::none_of(std::begin(kRunSuffixes), std::end(kRunSuffixes), isSuffix)) return false;
  const std::wstring base = full.substr(0, full.size() - kSuffix);
  if (targets.Contains(base)) return true;
  const size_t number = base.find_last_not_of(L"0123456789");
  return number != std::wstring::npos && number + 1 < base.size() && base[number] == L'.' &&
         targets.Contains(base.substr(0, number));
}

// A name in the form of a short (8.3) name: a "~" in at most 8 characters, then at most a dot and
// 3 more, no blank. Such a name reaches a file whose long name is quite another once that file
// exists (the run's journal, a backup it makes), so only an existing file may be named that way.
bool LooksLikeShortName(const std::wstring& name) {
  const size_t base = std::min(name.find(L'.'), name.size());
  const size_t extension = base < name.size() ? name.size() - base - 1 : 0;
  return name.find(L'~') < base && base <= 8 && extension <= 3 && name.find(L' ') == std::wstring::npos &&
         name.find(L'.', base + 1) == std::wstring::npos;
}

// "entry 2/3 "C:\...\cache\update\b.new" -> "C:\...\b.dll"", as the record names an entry.
std::string EntryRecord(size_t index, size_t count, const UpdateFileEntry& entry) {
  return "entry " + std::to_string(index + 1) + "/" + std::to_string(count) + " " + RecordPath(entry.tmp) + " -> " +
         RecordPath(entry.path);
}

// What the check's rules look at for one entry: its two paths as Windows resolves them, what is
// at the target, and the run's whole picture (the installation, every target, the staged files
// so far).
struct Candidate {
  IFileSystem& files;
  CInstallationPaths& installation;
  const CFileSet& targets;
  CFileSet& staged;
  std::wstring tmp;
  std::wstring path;
  PathKind target;
};

// A rule: why it refuses the entry, in the record's words, or null.
using Rule = const char* (*)(Candidate& entry);

const char* TargetOutside(Candidate& entry) {
  return entry.installation.Contains(entry.path) ? nullptr : "the target is not inside the updater's folder";
}
// The target's way down from the installation: every directory that exists on it is a plain
// directory (a link or junction would lead the file elsewhere; a file stops it), and no name
// that does not exist yet has the form of a short name.
const char* TargetWayDown(Candidate& entry) {
  const std::wstring& full = entry.path;
  bool missing = false;  // from here on, the names are made by the run
  size_t start = entry.installation.Directory().size() + 1;
  for (size_t i = start; i <= full.size(); ++i) {
    if (i < full.size() && full[i] != L'\\') continue;
    if (i < full.size() && !missing) {
      const PathKind kind = entry.installation.DirectoryKind(full.substr(0, i));
      if (kind != PathKind::kMissing && kind != PathKind::kDirectory)
        return "a folder on the way to the target is a link or a file";
      missing = kind == PathKind::kMissing;
    }
    const bool made = missing || (i == full.size() && entry.target == PathKind::kMissing);
    if (made && LooksLikeShortName(full.substr(start, i - start))) {
      return "a name on the way to the target has the form of a short (8.3) name but no such file exists";
    }
    start = i + 1;
  }
  return nullptr;
}
const char* TargetIsAFolder(Candidate& entry) {
  const bool folder = entry.target == PathKind::kDirectory || entry.target == PathKind::kDirectoryLink;
  return folder ? "the target is a folder" : nullptr;
}
const char* TargetIsOwnFile(Candidate& entry) {
  return entry.installation.IsOwnFile(entry.path) ? "the target is a file of the updater's own" : nullptr;
}
const char* TargetIsRunName(Candidate& entry) {
  const bool runName = IsRunNameOfATarget(entry.files, entry.targets, entry.path);
  return runName ? "the target is the backup, parking or copy name of a target" : nullptr;
}
// The staged file lies outside the installation or in its cache, where none of the updater's own
// files is; and it is held from the check on, so no other name reaches it when it moves.
const char* StagedInInstallation(Candidate& entry) {
  const bool inside = entry.installation.Contains(entry.tmp) && !entry.installation.InUpdateCache(entry.tmp);
  return inside ? "the staged file lies in the installation, outside cache\\update" : nullptr;
}
const char* StagedIsNoFile(Candidate& entry) {
  return entry.files.Inspect(entry.tmp) != PathKind::kFile ? "the staged file is missing or no file" : nullptr;
}
const char* StagedIsATarget(Candidate& entry) {
  return entry.targets.Contains(entry.tmp) ? "the staged file is also a target" : nullptr;
}
const char* StagedTwice(Candidate& entry) {  // adds the staged file to the run's
  return entry.staged.Insert(entry.tmp) ? nullptr : "the staged file is listed twice";
}
const char* StagedIsRunName(Candidate& entry) {
  const bool runName = IsRunNameOfATarget(entry.files, entry.targets, entry.tmp);
  return runName ? "the staged file is the backup, parking or copy name of a target" : nullptr;
}

// In this order: the first that refuses names the reason.
constexpr Rule kRules[] = {TargetOutside,        TargetWayDown,  TargetIsAFolder, TargetIsOwnFile, TargetIsRunName,
                           StagedInInstallation, StagedIsNoFile, StagedIsATarget, StagedTwice,     StagedIsRunName};

// Why an entry cannot be applied, in the record's words; null when it can.
const char* RefusalOf(const UpdateFileEntry& entry, IFileSystem& files, CInstallationPaths& installation,
                      const CFileSet& targets, CFileSet& staged) {
  if (!IsFullFilePath(entry.tmp) || !IsFullFilePath(entry.path)) return "not two full file paths";
  const std::wstring path = files.FullPath(entry.path);
  Candidate candidate{files, installation, targets, staged, files.FullPath(entry.tmp), path, files.Inspect(path)};
  for (const Rule rule : kRules) {
    if (const char* refusal = rule(candidate)) return refusal;
  }
  return nullptr;
}

// "entry 2/3 ...: refused, <why>" in the record, and the status line `id` naming the entry.
UpdateOutcome Refuse(const CUpdateContext& context, IUpdatePlatform& platform, size_t i, EntryText line,
                     const std::string& why) {
  platform.Record(EntryRecord(i, context.files.size(), context.files[i]) + ": refused, " + why);
  PostStatus(platform, platform.Texts(), line, i, context.files.size(), FileNameOfPath(context.files[i].path));
  return UpdateOutcome::kCheckRefused;
}

// Staged files of this many bytes in all are hashed on a thread of their own while they are read.
constexpr uint64_t kHashOnAThreadBytes = 4 << 20;

// At most this many entries whose md5 is not checked are named in the record, one line each.
constexpr size_t kMostUncheckedLines = 10;

// The md5 half of CheckFileEntries (entry_check.h).
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
      total += context.heldStaged[i]->Identity().size;
    } else if (!entry.md5.empty() && ++unchecked <= kMostUncheckedLines) {
      platform.Record(EntryRecord(i, count, entry) + ": md5 not checked, " + RecordValue(entry.md5) +
                      " is not 32 hexadecimal digits");
    }
  }
  if (unchecked > kMostUncheckedLines) {
    platform.Record("md5 not checked, not 32 hexadecimal digits, in more entries: " +
                    std::to_string(unchecked - kMostUncheckedLines));
  }
  if (checked.empty()) return UpdateOutcome::kOk;

  platform.Record("checking md5: staged files " + std::to_string(checked.size()) + ", bytes " + std::to_string(total));
  uint64_t done = 0;  // the bar follows the bytes read
  int64_t position = 0;
  ReportProgress(platform, 0);
  // The files are read here and hashed on the hasher's thread meanwhile; their digests are
  // compared in order as they come, so the first file that differs is the one refused.
  CMd5Hasher hasher(total >= kHashOnAThreadBytes);
  size_t compared = 0;  // of `checked`
  const auto refuse = [&](size_t i, const std::string& why) {
    return Refuse(context, platform, i, kMd5DiffersText, why);
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
    }
    return true;
  };
  for (const size_t i : checked) {
    const UpdateFileEntry& entry = context.files[i];
    PostStatus(platform, platform.Texts(), kVerifyingFileText, i, count, FileNameOfPath(entry.path));
    const bool read = files.ReadHeld(*context.heldStaged[i], [&](const char* data, size_t size) {
      hasher.Add(data, size);
      done += size;
      const int64_t now = total == 0 ? 100 : static_cast<int64_t>(std::min<uint64_t>(done, total) * 100 / total);
      if (now != position) ReportProgress(platform, position = now);
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

UpdateOutcome HoldStagedFiles(CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  context.heldStaged.clear();
  for (size_t i = 0; i < context.files.size(); ++i) {
    std::unique_ptr<IHeldFile> held = files.Hold(context.files[i].tmp);
    if (!held) {
      const uint32_t error = files.LastError();
      context.heldStaged.clear();
      return Refuse(context, platform, i, kUpdatingFileText, "the staged file cannot be held: " + RecordError(error));
    }
    context.heldStaged.push_back(std::move(held));
  }
  return UpdateOutcome::kOk;
}

UpdateOutcome CheckFileEntries(CUpdateContext& context, IUpdatePlatform& platform) {
  IFileSystem& files = platform.Files();
  CInstallationPaths installation(files);
  CFileSet targets(files);
  for (const UpdateFileEntry& entry : context.files) {
    if (IsFullFilePath(entry.path)) targets.Insert(entry.path);
  }

  CFileSet staged(files);
  for (size_t i = 0; i < context.files.size(); ++i) {
    if (const char* refusal = RefusalOf(context.files[i], files, installation, targets, staged)) {
      return Refuse(context, platform, i, kUpdatingFileText, refusal);
    }
  }
  const UpdateOutcome held = HoldStagedFiles(context, platform);
  if (held != UpdateOutcome::kOk) return held;
  const UpdateOutcome verified = VerifyStagedFiles(context, platform);
  if (verified != UpdateOutcome::kOk) context.heldStaged.clear();
  return verified;
}

}  // namespace zr
