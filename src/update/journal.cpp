#include "update/journal.h"

#include "update/file_system.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr char kHeader[] = "zrUpdater journal 1";
constexpr char kEnd[] = "end";
constexpr char kCommit[] = "commit";
constexpr char kLineEnd[] = "\r\n";

std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();  // a last line without its line end
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::wstring JournalPath(IFileSystem& files) {
  return files.ModuleDirectory() + L"\\" + kJournalFileName;
}

std::string FormatJournal(const std::vector<JournalEntry>& entries) {
  std::string text = std::string(kHeader) + kLineEnd;
  for (const JournalEntry& entry : entries) {
    text += entry.existed ? "B " : "N ";
    text += WideToUtf8(entry.target);
    text += kLineEnd;
  }
  return text + kEnd + kLineEnd;
}

Journal ParseJournal(const std::string& bytes) {
  Journal journal;
  const std::vector<std::string> lines = SplitLines(bytes);
  if (lines.empty() || lines[0] != kHeader) return journal;
  size_t i = 1;
  for (; i < lines.size() && lines[i] != kEnd; ++i) {
    const std::string& line = lines[i];
    // A line that is none of ours means the file is not a journal this updater wrote.
    if (line.size() < 3 || (line[0] != 'B' && line[0] != 'N') || line[1] != ' ') return Journal();
    journal.entries.push_back({Utf8ToWide(line.substr(2)), line[0] == 'B'});
  }
  if (i == lines.size()) return Journal();  // cut off while it was written: nothing moved yet
  const bool committed = i + 1 < lines.size() && lines[i + 1] == kCommit;
  journal.state = committed ? Journal::State::kCommitted : Journal::State::kPlanned;
  return journal;
}

bool WriteJournal(IFileSystem& files, const std::vector<JournalEntry>& entries) {
  return files.WriteDurably(JournalPath(files), FormatJournal(entries), false);
}

bool CommitJournal(IFileSystem& files) {
  return files.WriteDurably(JournalPath(files), std::string(kCommit) + kLineEnd, true);
}

Journal ReadJournal(IFileSystem& files) { return ParseJournal(files.ReadWholeFile(JournalPath(files))); }

bool RemoveJournal(IFileSystem& files) { return files.RemoveFile(JournalPath(files)); }

RestoreResult RestoreEntry(IFileSystem& files, const JournalEntry& entry) {
  const std::wstring& target = entry.target;
  const std::wstring parked = target + L".tmp";
  const std::wstring backup = target + L".bak";
  bool acted = false;
  bool parkedHere = false;
  if (entry.existed && files.Exists(backup)) {
    acted = true;
    parkedHere = files.Exists(target) && files.MoveReplace(target, parked);
    if (!files.MoveReplace(backup, target)) {
      // The original cannot come back and stays at its backup; the target gets back what it
      // held rather than losing it with the parked file.
      if (parkedHere) files.MoveReplace(parked, target);
      return RestoreResult::kStuck;
    }
  } else if (!entry.existed && files.Exists(target)) {
    acted = true;
    parkedHere = files.MoveReplace(target, parked);
  }
  if (parkedHere || files.Exists(parked)) {
    acted = true;
    files.RemoveFile(parked);
  }

  const bool old = !files.Exists(parked) &&
                   (entry.existed ? files.Exists(target) && !files.Exists(backup) : !files.Exists(target));
  if (!old) return RestoreResult::kStuck;
  return acted ? RestoreResult::kRestored : RestoreResult::kUntouched;
}

}  // namespace zr
