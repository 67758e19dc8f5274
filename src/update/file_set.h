// Paths as the file system tells files apart (every spelling of one file is one element), and
// the updater's directory with the places and files in it. Portable; the worker thread.
#pragma once

#include <map>
#include <set>
#include <string>

#include "update/file_system.h"

namespace zr {

// Orders full paths as the file system compares names (ordinal, ignoring case).
struct PathOrder {
  IFileSystem* files;
  bool operator()(const std::wstring& a, const std::wstring& b) const { return files->ComparePaths(a, b) < 0; }
};

class CFileSet {
 public:
  explicit CFileSet(IFileSystem& files) : m_files(files), m_set(PathOrder{&files}) {}
  // Inserts the file a path names; false when it was there already.
  bool Insert(const std::wstring& path) { return m_set.insert(m_files.FullPath(path)).second; }
  bool Contains(const std::wstring& path) const { return m_set.count(m_files.FullPath(path)) != 0; }

 private:
  IFileSystem& m_files;
  std::set<std::wstring, PathOrder> m_set;
};

// The files the updater keeps beside itself, in its own directory: the journal (journal.h), the
// lock held open without sharing for the whole run (one updater per installation), and the
// record of the last run and of the one before it. They are the updater's alone: no manifest
// entry may name one of them, as a staged file or as a target.
inline constexpr wchar_t kJournalFileName[] = L"zrUpdater.journal";
inline constexpr wchar_t kLockFileName[] = L"zrUpdater.lock";
inline constexpr wchar_t kRecordFileName[] = L"zrUpdater.log";
inline constexpr wchar_t kPreviousRecordFileName[] = L"zrUpdater.log.1";
inline constexpr const wchar_t* kOwnFileNames[] = {kJournalFileName, kLockFileName, kRecordFileName,
                                                   kPreviousRecordFileName};

// The updater's directory and the places in it, compared as the file system names them. Paths
// given are full (FullPath) already.
class CInstallationPaths {
 public:
  explicit CInstallationPaths(IFileSystem& files)
      : m_files(files), m_directory(files.FullPath(files.ModuleDirectory())), m_kinds(PathOrder{&files}) {
    while (!m_directory.empty() && m_directory.back() == L'\\') m_directory.pop_back();
    m_updateCache = m_directory + L"\\cache\\update";
  }
  const std::wstring& Directory() const { return m_directory; }
  // Below the updater's directory (not the directory itself).
  bool Contains(const std::wstring& full) const { return IsBelow(full, m_directory); }
  // Below "cache\update\", where the product stages what it brings.
  bool InUpdateCache(const std::wstring& full) const { return IsBelow(full, m_updateCache); }
  // One of the files the updater keeps beside itself (journal, lock, record).
  bool IsOwnFile(const std::wstring& full) const {
    for (const wchar_t* name : kOwnFileNames) {
      if (m_files.ComparePaths(full, m_directory + L"\\" + name) == 0) return true;
    }
    return false;
  }
  // What is at a directory path (looked up once per directory).
  PathKind DirectoryKind(const std::wstring& full) {
    auto known = m_kinds.find(full);
    if (known == m_kinds.end()) known = m_kinds.emplace(full, m_files.Inspect(full)).first;
    return known->second;
  }

 private:
  bool IsBelow(const std::wstring& full, const std::wstring& directory) const {
    return !directory.empty() && full.size() > directory.size() + 1 && full[directory.size()] == L'\\' &&
           m_files.ComparePaths(full.substr(0, directory.size()), directory) == 0;
  }

  IFileSystem& m_files;
  std::wstring m_directory;
  std::wstring m_updateCache;
  std::map<std::wstring, PathKind, PathOrder> m_kinds;
};

}  // namespace zr
