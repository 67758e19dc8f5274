#include "skin/resources.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
// The skin's largest picture is 1160 pixels wide: refuse absurd sizes before allocating.
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <map>
#include <mutex>

#include "skin/skin_string.h"
#include "util/text.h"

namespace Skin {
namespace {

struct Settings {
  void* instance = nullptr;
  std::wstring instancePath;
  ResourceKind kind = ResourceKind::kFile;
  std::wstring resourcePath;
  void* resourceModule = nullptr;
  CZipArchive package;
};

// The decoded pictures, keyed by lower-case name (and mask). Guarded by its mutex: the main
// window and a message box on the update worker look pictures up at the same time.
struct PictureStore {
  std::mutex mutex;
  std::map<std::wstring, std::shared_ptr<const SkinBitmap>> pictures;
  unsigned decoded = 0;
};

PictureStore& ThePictures() {
  static PictureStore* store = new PictureStore();  // lives until the process ends
  return *store;
}

Settings& TheSettings() {
  static Settings* settings = new Settings();  // lives until the process ends
  return *settings;
}

std::wstring WithBackslash(const std::wstring& path) {
  if (path.empty() || path.back() == L'\\' || path.back() == L'/') return path;
  return path + L'\\';
}

}  // namespace

void CResourceSettings::SetInstance(void* instance) {
  TheSettings().instance = instance;
  std::wstring dir = ModuleDirectoryOf(instance);
  if (!dir.empty()) SetInstancePath(dir);
}

void* CResourceSettings::GetInstance() { return TheSettings().instance; }
std::wstring CResourceSettings::GetInstancePath() { return TheSettings().instancePath; }
void CResourceSettings::SetInstancePath(const std::wstring& path) {
  TheSettings().instancePath = WithBackslash(path);
}
void CResourceSettings::SetResourceKind(ResourceKind kind) { TheSettings().kind = kind; }
ResourceKind CResourceSettings::GetResourceKind() { return TheSettings().kind; }
void CResourceSettings::SetResourcePath(const std::wstring& path) {
  TheSettings().resourcePath = WithBackslash(path);
}
std::wstring CResourceSettings::GetResourcePath() { return TheSettings().resourcePath; }
void CResourceSettings::SetResourceModule(void* module) { TheSettings().resourceModule = module; }
void* CResourceSettings::GetResourceModule() {
  auto& s = TheSettings();
  return s.resourceModule ? s.resourceModule : s.instance;
}

bool CResourceSettings::SetResourceZip(const void* data, std::size_t size,
                                       const wchar_t* password) {
  if (password && *password) return false;
  PictureStore& store = ThePictures();
  {
    std::lock_guard<std::mutex> lock(store.mutex);
    store.pictures.clear();  // windows keep the bitmaps they hold
    store.decoded = 0;
  }
  return TheSettings().package.Open(data, size);
}

std::shared_ptr<const SkinBitmap> CResourceSettings::GetPicture(const std::wstring& name,
                                                                bool useMask, Colour mask) {
  std::wstring key = AsciiLower(name);
  if (useMask) key += L"|" + std::to_wstring(mask & 0xFFFFFF);
  PictureStore& store = ThePictures();
  {
    std::lock_guard<std::mutex> lock(store.mutex);
    auto it = store.pictures.find(key);
    if (it != store.pictures.end()) return it->second;
  }
  // Decoded outside the lock, so that the other thread's paint does not wait for it; should
  // both threads decode the same picture at once, the first one stored wins.
  std::shared_ptr<SkinBitmap> bitmap;
  ByteView view;
  std::vector<std::uint8_t> bytes;
  if (TheSettings().kind == ResourceKind::kZipInMemory) {
    // Decoded in place: the package's bytes are not copied.
    if (const ByteView* entry = name.empty() ? nullptr : FindInPackage(name)) view = *entry;
  } else if (LoadResource(name, &bytes)) {
    view = ByteView{bytes.data(), bytes.size()};
  }
  const bool made = view.data != nullptr;
  if (made) {
    bitmap = std::make_shared<SkinBitmap>();
    if (!DecodePicture(view.data, view.size, bitmap.get(), useMask, mask)) bitmap.reset();
  }
  std::lock_guard<std::mutex> lock(store.mutex);
  if (made) ++store.decoded;
  auto inserted = store.pictures.emplace(key, std::move(bitmap));
  return inserted.first->second;
}

unsigned CResourceSettings::PicturesDecoded() {
  PictureStore& store = ThePictures();
  std::lock_guard<std::mutex> lock(store.mutex);
  return store.decoded;
}

const ByteView* CResourceSettings::FindInPackage(const std::wstring& name) {
  return TheSettings().package.Find(zr::WideToUtf8(name));
}

bool CResourceSettings::LoadResource(const std::wstring& name, std::vector<std::uint8_t>* out) {
  out->clear();
  if (name.empty()) return false;
  if (TheSettings().kind == ResourceKind::kZipInMemory) {
    const ByteView* view = FindInPackage(name);
    if (!view) return false;
    out->assign(view->data, view->data + view->size);
    return true;
  }
  return ReadFileBytes(TheSettings().resourcePath + name, out);
}

namespace {

// Whether a PNG carries a transparency chunk (which gives pixels alpha without an alpha
// channel). A false "yes" only costs the four-channel decoding.
bool HasTransparencyChunk(const std::uint8_t* data, std::size_t size) {
  static const char kType[] = "tRNS";
  return std::search(data, data + size, kType, kType + 4) != data + size;
}

// Whether every chunk of a PNG lies within its bytes (anything else passes). stb_image takes
// a chunk's length on trust and sizes its buffer for the image data by it before reading the
// data: a few bytes that claim a chunk of 2 GB would have it allocate 2 GB.
bool ChunksFit(const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 8 || !std::equal(kSignature, kSignature + 8, data)) return true;
  // Down to a chunk's length and type, which stb_image reads even without the rest after
  // them (a chunk claiming 1.2 GB in the last 11 bytes had it allocate 2 GB).
  for (std::size_t pos = 8; size - pos >= 8;) {
    const std::uint8_t* p = data + pos;
    const std::uint32_t length = (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) |
                                 (p[2] << 8) | p[3];
    if (std::equal(p + 4, p + 8, "IEND")) break;
    // The length, type and CRC take 12 bytes.
    if (size - pos < 12 || length > size - pos - 12) return false;
    pos += 12 + static_cast<std::size_t>(length);
  }
  return true;
}

// Whether the pixel rows of an uncompressed BMP lie within its bytes (anything else passes).
// stb_image reads past a BMP's end as zeros: 73 bytes that claim 768 x 1791 pixels would
// decode to a black picture of 5 MB instead of being refused as the cut-off file they are.
bool RowsFit(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return true;
  if (size < 18) return false;  // cut off before its header's size
  auto u16 = [data](std::size_t at) {
    return static_cast<std::uint32_t>(data[at]) | (static_cast<std::uint32_t>(data[at + 1]) << 8);
  };
  auto u32 = [&u16](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
  const std::uint32_t header = u32(14);
  std::int64_t width = 0, height = 0, bits = 0;
  // A header cut off is read as zeros too: 29 bytes made a picture of 7669 x 7424 (227 MB).
  if (size < (header == 12 ? 26u : 34u)) return false;
  if (header == 12) {  // the old core header: 16-bit sizes
    width = u16(18);
    height = u16(20);
    bits = u16(24);
  } else {
    width = static_cast<std::int32_t>(u32(18));
    height = static_cast<std::int32_t>(u32(22));
    bits = u16(28);
    const std::uint32_t compression = u32(30);
    if (compression == 1 || compression == 2) return true;  // RLE: stb_image refuses it
    // stb_image reads every other kind (bit fields, and unknown values) as uncompressed rows.
  }
  if (width < 0) width = -width;
  if (height < 0) height = -height;  // rows stored top-down
  if (width > STBI_MAX_DIMENSIONS || height > STBI_MAX_DIMENSIONS) return true;  // refused
  const std::int64_t stride = (width * bits + 31) / 32 * 4;
  const std::int64_t start = std::max<std::int64_t>(u32(10), 14 + static_cast<std::int64_t>(header));
  return start + stride * height <= static_cast<std::int64_t>(size);
}

}  // namespace

bool DecodePicture(const std::uint8_t* data, std::size_t size, SkinBitmap* out, bool useMask,
                   Colour mask) {
  *out = SkinBitmap{};
  if (!data || size == 0 || size > 0x7FFFFFFF || !ChunksFit(data, size) ||
      !RowsFit(data, size)) {
    return false;
  }
  int w = 0, h = 0, channels = 0;
  // A picture without alpha is decoded to three channels: less to hold next to the bitmap
  // while it is converted (the 1160 x 580 backgrounds are the largest pictures).
  int want = 4;
  if (stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels) &&
      (channels == 1 || channels == 3) && !HasTransparencyChunk(data, size)) {
    want = 3;
  }
  stbi_uc* raw = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, want);
  if (!raw) return false;
  if (w <= 0 || h <= 0) {  // stb_image lets a BMP of no rows through
    stbi_image_free(raw);
    return false;
  }
  out->width = w;
  out->height = h;
  out->pixels.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < out->pixels.size(); ++i) {
    const stbi_uc* p = raw + i * want;
    std::uint32_t r = p[0], g = p[1], b = p[2], a = want == 4 ? p[3] : 255;
    if (useMask && ((r << 16) | (g << 8) | b) == (mask & 0xFFFFFF)) a = 0;
    if (a == 255) {
      out->pixels[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
      continue;
    }
    out->hasAlpha = true;
    out->pixels[i] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
  }
  stbi_image_free(raw);
  return true;
}

}  // namespace Skin
