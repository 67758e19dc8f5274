// libFuzzer target: the update manifest parser on arbitrary bytes.
//
// Besides the sanitizers' findings it checks what every caller relies on: the result is one
// of the two codes, a usable manifest has entries, and the same bytes always give the same
// result.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/manifest.h"
#include "update/outcome.h"
#include "update/update_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  zr::CUpdateContext context;
  const zr::UpdateOutcome result = zr::ParseUpdateManifest(context, content);
  if (result != zr::UpdateOutcome::kOk && result != zr::UpdateOutcome::kManifestInvalid) std::abort();
  if ((result == zr::UpdateOutcome::kOk) == context.files.empty()) std::abort();
  if (!context.backups.empty()) std::abort();

  zr::CUpdateContext again;
  if (zr::ParseUpdateManifest(again, content) != result) std::abort();
  if (again.files.size() != context.files.size() || again.version != context.version) std::abort();
  return 0;
}
