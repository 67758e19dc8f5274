// Pointing the skin engine at the skin package inside the program (resource "ZIPRES" 108).
// Called once by start-up on the first thread, after the engine has the instance handle and
// before any window exists.
#pragma once

namespace zr {

// Resource kind zip-in-memory, resource path = instance path + "UpdaterSkin\", then the
// package's bytes from the resource module. False when the resource cannot be had; the first
// window then fails to build through the engine's fatal path.
bool SetUpSkinPackage();

}  // namespace zr
