// CSkinContext: everything the skin engine shares between windows, in one object that the
// program makes and hands to each window. Nothing of the engine lives in a process-wide
// variable; the only process-wide trace is the window classes, registered once per class
// name on first use (CWindowBase) and left to the system at process end.
//
// What it holds and who uses it:
// - the skin package: a zip archive over bytes that the caller keeps alive and unchanged for
//   the context's life (the program's resource, mapped for the process's life). Documents
//   are inflated into the reader's own buffer and freed when it is done with them;
// - the decoded pictures: each decoded once, on first use, and shared by every window that
//   draws it (the main window and the boxes of either thread); a picture that is missing or
//   undecodable is remembered as such. A bitmap never changes once made;
// - the shared fonts: fonts a document declares shared, available to every window built after it;
// - the modal windows open over each owner, counted across threads (modal_windows_win.h).
//
// Threads: the package is only read once opened; pictures, shared fonts and modal counts are
// guarded by locks, since the update worker's boxes use them while the UI thread paints. A
// picture decoded ahead is decoded on a thread nobody joins, from its own copy of the entry:
// it may outlive the context.
// The context must outlive every window made with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "skin/font_table.h"
#include "skin/surface.h"
#include "skin/zip_archive.h"

namespace Skin {

// Modal windows open over each owner (an HWND on Windows, as a number), on every thread.
class CModalCounts {
 public:
  // Adds `delta` to the owner's count; the count afterwards.
  int Change(std::uintptr_t owner, int delta);
  int Count(std::uintptr_t owner) const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::uintptr_t, int> m_open;
};

class CSkinContext {
 public:
  CSkinContext() = default;
  CSkinContext(const CSkinContext&) = delete;
  CSkinContext& operator=(const CSkinContext&) = delete;

  // The skin package: a zip archive of `size` bytes at `data`, which must outlive the
  // context. False when the bytes are no readable zip archive (every lookup then fails).
  // Call before the first window is made.
  bool OpenPackage(const void* data, std::size_t size);

  // The bytes of a document or picture of the package by name (exact, then ASCII case
  // ignored); false when it is missing or damaged.
  bool ReadEntry(const std::wstring& name, std::vector<std::uint8_t>* out) const;

  // A decoded picture of the package, nullptr when missing or undecodable (see above). With
  // `drawnAt`, a picture drawn whole: one larger than that is kept only at that size (see
  // DecodePicture), under a name of its own for each size. With `keep` false, one not kept already
  // is decoded for this use alone (the drop shadow's: a megabyte, needed until the system has it).
  std::shared_ptr<const SkinBitmap> GetPicture(const std::wstring& name, bool useMask = false, Colour mask = 0,
                                               SkinSize drawnAt = {}, bool keep = true);
  // Starts decoding a picture (as GetPicture would) on a thread of its own, so that it is ready,
  // or nearly, when the first paint asks for it: the window's pictures decode while the system
  // shows the window. Nothing when it is kept already or missing.
  void DecodeAhead(const std::wstring& name, bool useMask, Colour mask, SkinSize drawnAt);
  // How many pictures have been decoded (for tests and benchmarks).
  unsigned PicturesDecoded() const;
  // How many of them were decoded ahead (by DecodeAhead's thread or by the paint that came first).
  unsigned PicturesDecodedAhead() const;

  CSharedFonts& SharedFonts() { return m_fonts; }
  CModalCounts& ModalCounts() { return m_modal; }

 private:
  CZipArchive m_package;
  mutable std::mutex m_picturesMutex;
  std::map<std::wstring, std::shared_ptr<const SkinBitmap>> m_pictures;  // by PictureKey
  struct AheadPicture;
  std::map<std::wstring, std::shared_ptr<AheadPicture>> m_ahead;  // by PictureKey, until a paint asks
  unsigned m_decoded = 0;
  unsigned m_decodedAhead = 0;
  CSharedFonts m_fonts;
  CModalCounts m_modal;
};

// The name a picture is kept under: its file name in lower case, with the mask and the size it
// is drawn at when it has them.
std::wstring PictureKey(const std::wstring& name, bool useMask, Colour mask, SkinSize drawnAt);

// Decodes a PNG of 8-bit RGB or RGBA, not interlaced, without a palette or a transparent colour
// (the one kind of picture the skin has: the packer refuses others), into a premultiplied bitmap
// (png_reader.cpp). Pixels equal to `mask` (compared without alpha) become transparent when
// `useMask` is set. A picture larger than `drawnAt` (on one axis, and not smaller on the other)
// comes out filtered to that size, the pixels ScalePicture would give, without the whole picture
// ever being held: the 1160 x 580 illustrations are drawn at half their size at 100 %.
bool DecodePicture(const std::uint8_t* data, std::size_t size, SkinBitmap* out, bool useMask = false, Colour mask = 0,
                   SkinSize drawnAt = {});

}  // namespace Skin
