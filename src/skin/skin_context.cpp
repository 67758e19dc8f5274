#include "skin/skin_context.h"

#include "util/ascii.h"
#include "util/detached_thread.h"
#include "util/text.h"

namespace Skin {

int CModalCounts::Change(std::uintptr_t owner, int delta) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int now = m_open[owner] += delta;
  if (now <= 0) m_open.erase(owner);
  return now;
}

int CModalCounts::Count(std::uintptr_t owner) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_open.find(owner);
  return it == m_open.end() ? 0 : it->second;
}

std::wstring PictureKey(const std::wstring& name, bool useMask, Colour mask, SkinSize drawnAt) {
  std::wstring key = zr::AsciiLower(name);
  if (useMask) key += L"|" + std::to_wstring(mask & 0xFFFFFF);
  if (drawnAt.cx > 0 && drawnAt.cy > 0) key += L"@" + std::to_wstring(drawnAt.cx) + L"x" + std::to_wstring(drawnAt.cy);
  return key;
}

bool CSkinContext::OpenPackage(const void* data, std::size_t size) { return m_package.Open(data, size); }

bool CSkinContext::ReadEntry(const std::wstring& name, std::vector<std::uint8_t>* out) const {
  out->clear();
  ByteView view;
  if (name.empty() || !m_package.Read(zr::WideToUtf8(name), out, &view)) return false;
  if (view.data != out->data()) out->assign(view.data, view.data + view.size);
  return true;
}

// A picture decoded ahead of the paint that draws it, from its own copy of the entry. Whoever
// comes first decodes it: its thread, or a paint that needs it before that thread has started
// (a thread may start late on a busy machine). The thread holds the lock while it decodes, so a
// paint that comes meanwhile waits for it.
struct CSkinContext::AheadPicture {
  enum State { kWaiting, kTaken, kDone };
  std::mutex mutex;
  State state = kWaiting;
  std::vector<std::uint8_t> bytes;
  bool useMask;
  Colour mask;
  SkinSize drawnAt;
  std::shared_ptr<SkinBitmap> bitmap;
};

namespace {

std::shared_ptr<SkinBitmap> Decoded(const std::uint8_t* data, std::size_t size, bool useMask, Colour mask,
                                    SkinSize drawnAt) {
  auto bitmap = std::make_shared<SkinBitmap>();
  if (!DecodePicture(data, size, bitmap.get(), useMask, mask, drawnAt)) bitmap.reset();
  return bitmap;
}

}  // namespace

void CSkinContext::DecodeAhead(const std::wstring& name, bool useMask, Colour mask, SkinSize drawnAt) {
  const std::wstring key = PictureKey(name, useMask, mask, drawnAt);
  {
    std::lock_guard<std::mutex> lock(m_picturesMutex);
    if (m_pictures.count(key) || m_ahead.count(key)) return;
  }
  auto ahead = std::make_shared<AheadPicture>();
  if (!ReadEntry(name, &ahead->bytes)) return;
  ahead->useMask = useMask;
  ahead->mask = mask;
  ahead->drawnAt = drawnAt;
  auto decode = [](const std::shared_ptr<AheadPicture>& picture) {
    std::lock_guard<std::mutex> lock(picture->mutex);
    if (picture->state != AheadPicture::kWaiting) return;  // a paint came first
    picture->bitmap =
        Decoded(picture->bytes.data(), picture->bytes.size(), picture->useMask, picture->mask, picture->drawnAt);
    picture->state = AheadPicture::kDone;
  };
  if (!zr::StartDetachedThread<AheadPicture>(decode, ahead)) return;  // the paint decodes it
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  m_ahead.emplace(key, std::move(ahead));
}

std::shared_ptr<const SkinBitmap> CSkinContext::GetPicture(const std::wstring& name, bool useMask, Colour mask,
                                                           SkinSize drawnAt, bool keep) {
  const std::wstring key = PictureKey(name, useMask, mask, drawnAt);
  std::shared_ptr<AheadPicture> ahead;
  {
    std::lock_guard<std::mutex> lock(m_picturesMutex);
    auto it = m_pictures.find(key);
    if (it != m_pictures.end()) return it->second;
    auto started = m_ahead.find(key);
    if (started != m_ahead.end()) {
      ahead = std::move(started->second);
      m_ahead.erase(started);
    }
  }
  // Decoded outside the lock, so that the other thread's paint does not wait for it; should
  // both threads decode the same picture at once, the first one stored wins. A stored entry
  // is decoded in place; an inflated one's buffer goes once it is decoded.
  std::shared_ptr<SkinBitmap> bitmap;
  bool made = false;
  if (ahead) {
    std::unique_lock<std::mutex> lock(ahead->mutex);
    if (ahead->state == AheadPicture::kWaiting) {
      ahead->state = AheadPicture::kTaken;
      lock.unlock();
      bitmap = Decoded(ahead->bytes.data(), ahead->bytes.size(), useMask, mask, drawnAt);
    } else {
      bitmap = ahead->bitmap;  // decoded: its thread held the lock until it was
    }
    made = true;
  } else {
    std::vector<std::uint8_t> inflated;
    ByteView view;
    made = !name.empty() && m_package.Read(zr::WideToUtf8(name), &inflated, &view);
    if (made) bitmap = Decoded(view.data, view.size, useMask, mask, drawnAt);
  }
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  if (made) ++m_decoded;
  if (ahead) ++m_decodedAhead;
  if (!keep) return bitmap;
  return m_pictures.emplace(key, std::move(bitmap)).first->second;
}

unsigned CSkinContext::PicturesDecodedAhead() const {
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  return m_decodedAhead;
}

unsigned CSkinContext::PicturesDecoded() const {
  std::lock_guard<std::mutex> lock(m_picturesMutex);
  return m_decoded;
}

}  // namespace Skin
