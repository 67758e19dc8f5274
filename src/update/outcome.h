// How an update run ended, as the engine says it, and the code the usage report carries for it.
// The engine passes only the reasons; the report's codes (32-bit signed) are fixed by the
// statistics endpoint, so several reasons share one and a code is never given a new meaning.
#pragma once

#include <cstdint>

namespace zr {

enum class UpdateOutcome {
  kOk,               // every file is new (or there was nothing to finish)
  kManifestInvalid,  // the manifest is unreadable or unusable
  kCheckRefused,     // an entry broke a path rule, or its staged file is not what was checked
  kMoveFailed,       // a file could not be moved into place (or no free backup name was left)
  kJournalFailed,    // the journal could not be written before the first move, or not marked done
  kRecoveryFailed,   // a run cut short could not be finished: its journal is damaged or a file
                     // cannot come back
  kUserCancelled,    // the user kept the product running
  kProcessEnding,    // the updater was asked to end (window closed, WM_QUIT) before a file moved
  kCloseFailed,      // the product's process would not end
};

inline constexpr int32_t RESULT_OK = 0;
inline constexpr int32_t RESULT_MANIFEST_INVALID = 1005;
inline constexpr int32_t RESULT_MOVE_FAILED = 4001;
inline constexpr int32_t RESULT_USER_CANCELLED = 4002;
inline constexpr int32_t RESULT_CLOSE_FAILED = 4003;

// The usage report's code for a reason: the one place a reason becomes a code.
constexpr int32_t ReportCode(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::kOk: return RESULT_OK;
    case UpdateOutcome::kManifestInvalid: return RESULT_MANIFEST_INVALID;
    case UpdateOutcome::kCheckRefused:
    case UpdateOutcome::kMoveFailed:
    case UpdateOutcome::kJournalFailed:
    case UpdateOutcome::kRecoveryFailed: return RESULT_MOVE_FAILED;
    case UpdateOutcome::kUserCancelled:
    case UpdateOutcome::kProcessEnding: return RESULT_USER_CANCELLED;
    case UpdateOutcome::kCloseFailed: return RESULT_CLOSE_FAILED;
  }
  return RESULT_MOVE_FAILED;
}

}  // namespace zr
