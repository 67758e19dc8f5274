// The files the updater keeps beside itself, in its own directory. They are the updater's
// alone: no manifest entry may name one of them, as a staged file or as a target.
#pragma once

namespace zr {

// What a run is about to do to the installation, until it is whole again (journal.h).
inline constexpr wchar_t kJournalFileName[] = L"zrUpdater.journal";
// Held open without sharing for the whole run: one updater per installation.
inline constexpr wchar_t kLockFileName[] = L"zrUpdater.lock";
// The record of the last run, and of the one before it.
inline constexpr wchar_t kRecordFileName[] = L"zrUpdater.log";
inline constexpr wchar_t kPreviousRecordFileName[] = L"zrUpdater.log.1";

inline constexpr const wchar_t* kOwnFileNames[] = {kJournalFileName, kLockFileName, kRecordFileName,
                                                   kPreviousRecordFileName};

}  // namespace zr
