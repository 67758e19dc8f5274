// Parsing of the documents' value syntax: colours, rectangles, sizes, booleans and image
// descriptions, plus the nine-grid split of a picture. Pure functions, any thread.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "skin/geometry.h"

namespace Skin {

// "#AARRGGBB" (or "AARRGGBB"); "#RRGGBB" is taken as opaque. Anything else gives 0.
Colour ParseColour(const std::wstring& text);
// "l,t,r,b" with optional blanks; missing numbers are 0.
SkinRect ParseRect(const std::wstring& text);
// "cx,cy".
SkinSize ParseSize(const std::wstring& text);
int ParseInt(const std::wstring& text);
// "true" (any case) is true; everything else false.
bool ParseBool(const std::wstring& text);

// One picture reference: "file='a.png' source='0,0,20,20' corner='3,0,3,0' mask='#FFFF00FF'"
// or a bare file name. An empty source means the whole picture; a zero corner means no
// nine-grid; `dest` (when not empty) places the picture inside the control.
struct ImageDesc {
  std::wstring file;
  SkinRect source;
  SkinRect corner;
  SkinRect dest;
  Colour mask = 0;
  bool hasMask = false;
  int fade = 255;
};

// False (and a description with no file) when the text names no file.
bool ParseImageDesc(const std::wstring& text, ImageDesc* out);

// Where the picture goes in a control at `area`: its `dest` within the area, else the area.
SkinRect ImageDest(const ImageDesc& desc, const SkinRect& area);
// Whether the picture is drawn whole (no source rectangle, no nine-grid).
inline bool DrawsWhole(const ImageDesc& desc) { return desc.source.IsEmpty() && desc.corner == SkinRect{}; }

// Splits the drawing of `source` (a rectangle of a picture) into `dest` into up to nine
// pieces: the corners keep their size, the edges stretch along one axis, the centre both.
// Corner widths larger than the destination are shrunk proportionally. Pieces empty on
// either side are left out. Each pair is (destination piece, source piece). With `destCorner`
// (a picture drawn at another scale than its pixels), it replaces each non-empty source
// corner's size in the destination.
std::vector<std::pair<SkinRect, SkinRect>> NineGrid(const SkinRect& dest, const SkinRect& source,
                                                    const SkinRect& corner,
                                                    std::optional<SkinRect> destCorner = std::nullopt);

}  // namespace Skin
