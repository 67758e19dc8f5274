// The skin package inside the program (resource "ZIPRES" 108 of the program's module), opened
// in the program's skin context. Windows only; the first thread, before any window exists.
#pragma once

#include "skin/skin_context.h"

namespace zr {

// False when the resource cannot be had or is no zip archive; the first window then fails to
// build through the engine's fatal path.
bool OpenSkinPackage(Skin::CSkinContext& context);

}  // namespace zr
