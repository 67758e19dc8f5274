// The update manifest: the XML document the product writes before it starts the updater.
//
//   <config>
//     <version>3.2.0</version>                        optional, first one used
//     <removedfiles>...</removedfiles>                 optional, ignored
//     <file>                                           one or more, in order
//       <url>...</url>                                 optional, ignored
//       <md5>...</md5>                                 optional: the staged file's MD5, checked
//       <tmp>C:\...\staged file</tmp>                  where the new content waits
//       <path>C:\...\product file</path>               where it goes
//     </file>
//   </config>
#pragma once

#include <string>

#include "update/outcome.h"

namespace zr {

struct CUpdateContext;

// Parses the manifest's bytes (UTF-8, up to the first zero byte) into the context, adding to
// what is there. kOk, or kManifestInvalid for empty content, malformed XML, no "config" element,
// or no "file" entry (the version is stored even then); then `problem`, when given, says which.
UpdateOutcome ParseUpdateManifest(CUpdateContext& context, const std::string& content, std::string* problem = nullptr);

}  // namespace zr
