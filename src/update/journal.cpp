#include "update/journal.h"

#include <charconv>
#include <cstdio>

#include "update/file_set.h"
#include "util/escape.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr char kHeader[] = "zrUpdater journal 3";
// Written by the updater before copies had a name of their own: the same, without the copy field.
constexpr char kHeaderWithoutCopies[] = "zrUpdater journal 2";
constexpr char kEnd[] = "end";
constexpr char kLineEnd[] = "\r\n";
constexpr char kSeparator = '|';

// The words of the marks, in JournalMark's order.
constexpr const char* kMarkWords[] = {"commit", "rollback", "done"};

const char* MarkWord(JournalMark mark) { return kMarkWords[static_cast<size_t>(mark)]; }

bool MustEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == '%' || byte == kSeparator; }

std::string EncodePath(const std::wstring& path) {
  return EscapeBytes(WideToUtf8(path), MustEscape, "%", kUpperHexDigits);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodePath(const std::string& text, std::wstring& path) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (MustEscape(byte) && byte != '%') return false;
    if (byte != '%') {
      bytes += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  path = Utf8ToWide(bytes);
  return true;
}

std::string FormatIdentity(const FileIdentity& identity) {
  return std::to_string(identity.size) + "@" + std::to_string(identity.lastWrite);
}

// Decimal digits only, 20 at most, within 64 bits.
bool ParseNumber(const std::string& text, uint64_t& value) {
  const char* end = text.data() + text.size();
  const std::from_chars_result parsed = std::from_chars(text.data(), end, value);
  return text.size() <= 20 && parsed.ec == std::errc() && parsed.ptr == end;
}

bool ParseIdentity(const std::string& text, FileIdentity& identity) {
  const size_t at = text.find('@');
  return at != std::string::npos && ParseNumber(text.substr(0, at), identity.size) &&
         ParseNumber(text.substr(at + 1), identity.lastWrite);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string FormatFile(const PlannedFile& file) {
  std::string line = file.existed ? "B" : "N";
  line += kSeparator + EncodePath(file.target) + kSeparator + EncodePath(file.backup) + kSeparator +
          EncodePath(file.parking) + kSeparator + EncodePath(file.copy) + kSeparator +
          (file.existed ? FormatIdentity(file.original) : "") + kSeparator;
  for (size_t i = 0; i < file.replacements.size(); ++i) {
    if (i > 0) line += ',';
    line += FormatIdentity(file.replacements[i]);
  }
  return line;
}

// One line of the plan, added to the journal; false when it is none of ours (the journal is then
// damaged, whatever was added). `withCopies`: the file lines have a copy field.
bool ParsePlanLine(const std::string& line, bool withCopies, Journal& journal) {
  std::vector<std::string> fields = Split(line, kSeparator);
  if (fields[0] == "D" && fields.size() == 2) {
    std::wstring& directory = journal.createdDirectories.emplace_back();
    return DecodePath(fields[1], directory) && !directory.empty();
  }
  if (fields[0] == "X" && fields.size() == 3) {
    Leftover& leftover = journal.leftovers.emplace_back();
    return DecodePath(fields[1], leftover.path) && !leftover.path.empty() &&
           ParseIdentity(fields[2], leftover.identity);
  }
  if (!withCopies && fields.size() == 6) fields.insert(fields.begin() + 4, std::string());
  if ((fields[0] != "B" && fields[0] != "N") || fields.size() != 7) return false;
  PlannedFile& file = journal.files.emplace_back();
  file.existed = fields[0] == "B";
  if (!DecodePath(fields[1], file.target) || !DecodePath(fields[2], file.backup) ||
      !DecodePath(fields[3], file.parking) || !DecodePath(fields[4], file.copy) || file.target.empty() ||
      file.parking.empty() || file.backup.empty() == file.existed) {
    return false;
  }
  if (file.existed ? !ParseIdentity(fields[5], file.original) : !fields[5].empty()) return false;
  for (const std::string& identity : Split(fields[6], ',')) {
    file.replacements.emplace_back();
    if (!ParseIdentity(identity, file.replacements.back())) return false;
  }
  return true;
}

std::wstring JournalPath(IFileSystem& files) { return files.ModuleDirectory() + L"\\" + kJournalFileName; }

}  // namespace

std::string JournalChecksum(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string FormatJournal(const Journal& journal) {
  std::string text = std::string(kHeader) + kLineEnd;
  for (const PlannedFile& file : journal.files) text += FormatFile(file) + kLineEnd;
  for (const std::wstring& directory : journal.createdDirectories) {
    text += "D" + std::string(1, kSeparator) + EncodePath(directory) + kLineEnd;
  }
  for (const Leftover& leftover : journal.leftovers) {
    text += "X" + std::string(1, kSeparator) + EncodePath(leftover.path) + kSeparator +
            FormatIdentity(leftover.identity) + kLineEnd;
  }
  return text + kEnd + kSeparator + JournalChecksum(text) + kLineEnd;
}

Journal ParseJournal(const std::string& bytes) {
  // Only complete lines count: a line cut off while it was written never was.
  std::vector<std::string> lines;
  std::vector<size_t> starts;
  for (size_t start = 0;;) {
    const size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    starts.push_back(start);
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (lines.empty()) return Journal(Journal::State::kCutOff);
  if (lines[0] != kHeader && lines[0] != kHeaderWithoutCopies) return Journal(Journal::State::kDamaged);
  const bool withCopies = lines[0] == kHeader;
  Journal journal;
  size_t i = 1;
  for (; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.compare(0, sizeof kEnd, std::string(kEnd) + kSeparator) == 0) break;
    if (!ParsePlanLine(line, withCopies, journal)) return Journal(Journal::State::kDamaged);
  }
  if (i == lines.size()) return Journal(Journal::State::kCutOff);  // nothing moved before the plan was complete
  if (lines[i].substr(sizeof kEnd) != JournalChecksum(bytes.substr(0, starts[i])))
    return Journal(Journal::State::kDamaged);
  journal.state = Journal::State::kPlanned;
  for (++i; i < lines.size(); ++i) {
    if (lines[i] == MarkWord(JournalMark::kCommit) || lines[i] == MarkWord(JournalMark::kDone)) {
      journal.state = Journal::State::kFinished;
    } else if (lines[i] == MarkWord(JournalMark::kRollback)) {
      journal.state = Journal::State::kPlanned;
    } else {
      return Journal(Journal::State::kDamaged);
    }
  }
  return journal;
}

bool WriteJournal(IFileSystem& files, const Journal& journal) {
  return files.WriteDurably(JournalPath(files), FormatJournal(journal), false);
}

bool MarkJournal(IFileSystem& files, JournalMark mark) {
  return files.WriteDurably(JournalPath(files), std::string(MarkWord(mark)) + kLineEnd, true);
}

Journal ReadJournal(IFileSystem& files) {
  const std::wstring path = JournalPath(files);
  if (!files.Exists(path)) return Journal();
  std::string bytes;
  return files.ReadExistingFile(path, bytes) ? ParseJournal(bytes) : Journal(Journal::State::kDamaged);
}

bool RemoveJournal(IFileSystem& files) { return files.RemoveFile(JournalPath(files)); }

}  // namespace zr
