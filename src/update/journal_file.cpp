#include "update/journal_file.h"

#include "update/own_files.h"

namespace zr {

std::wstring JournalPath(IFileSystem& files) { return files.ModuleDirectory() + L"\\" + kJournalFileName; }

bool WriteJournal(IFileSystem& files, const Journal& journal) {
  return files.WriteDurably(JournalPath(files), FormatJournal(journal), false);
}

bool MarkJournal(IFileSystem& files, JournalMark mark) {
  return files.WriteDurably(JournalPath(files), FormatJournalMark(mark), true);
}

Journal ReadJournal(IFileSystem& files) {
  const std::wstring path = JournalPath(files);
  if (!files.Exists(path)) return Journal();
  std::string bytes;
  if (!files.ReadExistingFile(path, bytes)) {
    Journal damaged;
    damaged.state = Journal::State::kDamaged;
    return damaged;
  }
  return ParseJournal(bytes);
}

bool RemoveJournal(IFileSystem& files) { return files.RemoveFile(JournalPath(files)); }

}  // namespace zr
