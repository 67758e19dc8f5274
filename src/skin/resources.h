// Process-wide settings of the engine and the resource layer over the skin package.
//
// Start-up makes the settings once, on the first thread, before any window exists; after
// that they are only read (from the UI thread and from the update worker's message boxes).
// The package bytes are not copied: the caller keeps them alive for the process's life.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "skin/surface.h"
#include "skin/zip_archive.h"

namespace Skin {

enum class ResourceKind {
  kFile,         // documents and pictures are files below the resource path
  kZip,          // a zip file below the resource path (not used by this program)
  kZipInMemory,  // a zip archive held in memory (the skin package)
};

class CResourceSettings {
 public:
  // The module whose resources are read (an HINSTANCE on Windows). Also sets the instance
  // path: the directory of the module's file, ending in a backslash.
  static void SetInstance(void* instance);
  static void* GetInstance();
  static std::wstring GetInstancePath();
  static void SetInstancePath(const std::wstring& path);  // kept with a trailing backslash

  static void SetResourceKind(ResourceKind kind);
  static ResourceKind GetResourceKind();

  // A directory name; a missing trailing backslash is added.
  static void SetResourcePath(const std::wstring& path);
  static std::wstring GetResourcePath();

  // The module the package resource is read from; the instance unless another was set.
  static void SetResourceModule(void* module);
  static void* GetResourceModule();

  // The skin package: a zip archive of `size` bytes at `data`, which must outlive every
  // window. No password is supported (the package has none); a non-empty one is refused.
  // Returns false when the bytes are no readable zip archive.
  static bool SetResourceZip(const void* data, std::size_t size, const wchar_t* password = nullptr);

  // The bytes of a document or picture by name, from the package (kind zip-in-memory) or
  // from the file below the resource path (kind file). Empty optional-like result: false.
  static bool LoadResource(const std::wstring& name, std::vector<std::uint8_t>* out);
  // The same without copying, for the package only; nullptr when absent.
  static const ByteView* FindInPackage(const std::wstring& name);

  // A decoded picture of the package (or of the resource path), shared by every window of
  // the process on any thread: each picture is decoded once, on first use, and kept until
  // another package is set. A picture that is missing or undecodable gives nullptr, and is
  // remembered as such. The bitmap never changes once made.
  static std::shared_ptr<const SkinBitmap> GetPicture(const std::wstring& name,
                                                      bool useMask = false, Colour mask = 0);
  // How many pictures have been decoded since the package was set (for tests and benchmarks).
  static unsigned PicturesDecoded();
};

// Decodes a PNG (or any picture stb_image reads) into a premultiplied bitmap. Pixels equal
// to `mask` (compared without alpha) become transparent when `useMask` is set.
bool DecodePicture(const std::uint8_t* data, std::size_t size, SkinBitmap* out,
                   bool useMask = false, Colour mask = 0);

// The directory of a module's file, with a trailing backslash (empty natively).
std::wstring ModuleDirectoryOf(void* module);

// Reads a whole file named by a wide path; false when it cannot be read. (Kind file only.)
bool ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>* out);

}  // namespace Skin
