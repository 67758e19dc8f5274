// libFuzzer target: the run journal's parser on whatever a cut write or a bad disk left.
//
// Besides the sanitizers' findings it checks what recovery relies on: the same bytes always give
// the same journal; a journal that tells of files (a plan, or a finished run) names a target
// and a parking name for each, and a backup exactly for a file that existed; and written again
// and read back, it is the same plan.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/journal.h"

namespace {

bool SamePlan(const zr::Journal& a, const zr::Journal& b) {
  if (a.files.size() != b.files.size() || a.createdDirectories != b.createdDirectories ||
      a.leftovers.size() != b.leftovers.size()) {
    return false;
  }
  for (size_t i = 0; i < a.files.size(); ++i) {
    const zr::PlannedFile& x = a.files[i];
    const zr::PlannedFile& y = b.files[i];
    if (x.target != y.target || x.existed != y.existed || x.backup != y.backup || x.parking != y.parking ||
        x.copy != y.copy || x.original != y.original || x.replacements != y.replacements) {
      return false;
    }
  }
  for (size_t i = 0; i < a.leftovers.size(); ++i) {
    if (a.leftovers[i].path != b.leftovers[i].path || a.leftovers[i].identity != b.leftovers[i].identity) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const zr::Journal journal = zr::ParseJournal(bytes);
  const zr::Journal again = zr::ParseJournal(bytes);
  if (again.state != journal.state || !SamePlan(journal, again)) std::abort();

  if (journal.state != zr::Journal::State::kPlanned && journal.state != zr::Journal::State::kFinished) {
    if (!journal.files.empty() || !journal.leftovers.empty()) std::abort();  // nothing to act on
    return 0;
  }
  for (const zr::PlannedFile& file : journal.files) {
    if (file.target.empty() || file.parking.empty() || file.backup.empty() == file.existed ||
        file.replacements.empty()) {
      std::abort();
    }
  }
  const zr::Journal written = zr::ParseJournal(zr::FormatJournal(journal));
  if (written.state != zr::Journal::State::kPlanned || !SamePlan(journal, written)) std::abort();
  return 0;
}
