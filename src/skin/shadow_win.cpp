#include "skin/shadow_win.h"

#include <cstring>

#include "skin/image_desc.h"
#include "skin/resources.h"

namespace Skin {
namespace {

const wchar_t kShadowClass[] = L"zrSkinShadow";

void RegisterShadowClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kShadowClass;
  RegisterClassExW(&wc);  // a second registration fails harmlessly
}

}  // namespace

CShadowWindow::~CShadowWindow() { Destroy(); }

void CShadowWindow::Setup(HWND owner, const SkinBitmap* picture, int size,
                          const SkinRect& corner) {
  Destroy();
  if (!owner || !picture || size <= 0) return;
  owner_ = owner;
  picture_ = picture;
  size_ = size;
  corner_ = corner;
  RegisterShadowClass();
  hwnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                          kShadowClass, L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  Follow();
}

void CShadowWindow::Destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  owner_ = nullptr;
  shown_ = false;
}

bool CShadowWindow::Render(CDibBuffer& buffer, int width, int height) {
  if (!buffer.Ensure(width, height)) return false;
  std::memset(buffer.bits(), 0, static_cast<size_t>(width) * height * 4);
  CPixelCanvas canvas(buffer.bits(), width, height);
  SkinRect dest{0, 0, width, height};
  SkinRect source{0, 0, picture_->width, picture_->height};
  auto pieces = NineGrid(dest, source, corner_);
  SkinRect window_area = dest.Inflated(-size_, -size_);
  for (const auto& piece : pieces) {
    // The centre lies under the window: leave it transparent.
    if (piece.first == window_area) continue;
    canvas.DrawBitmap(*picture_, piece.first, piece.second, 255);
  }
  return true;
}

void CShadowWindow::Hide() {
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
  shown_ = false;
}

void CShadowWindow::Follow() {
  if (!hwnd_ || !owner_) return;
  if (!IsWindowVisible(owner_) || IsIconic(owner_) || IsZoomed(owner_)) return Hide();
  RECT r;
  GetWindowRect(owner_, &r);
  int width = r.right - r.left + 2 * size_;
  int height = r.bottom - r.top + 2 * size_;
  POINT at{r.left - size_, r.top - size_};
  // Behind the window: an owned window stays above its owner, so only the transparent
  // centre keeps the window visible; place it right after the owner all the same.
  const UINT place = SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER;
  if (!shown_ || width != size_shown_.cx || height != size_shown_.cy) {
    // The system keeps its own copy of the picture: ours goes once handed over.
    CDibBuffer picture;
    if (!Render(picture, width, height)) return;
    SIZE sz{width, height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(hwnd_, nullptr, &at, &sz, picture.dc(), &origin, 0, &blend, ULW_ALPHA);
    uploaded_ += static_cast<std::uint64_t>(width) * height * 4;
    size_shown_ = sz;
    SetWindowPos(hwnd_, owner_, 0, 0, 0, 0, place | SWP_NOMOVE | SWP_NOSIZE);
  } else if (at.x != where_.x || at.y != where_.y) {
    // A move (a drag step): the system keeps the picture it has; only the place changes.
    SetWindowPos(hwnd_, owner_, at.x, at.y, 0, 0, place | SWP_NOSIZE);
  }
  where_ = at;
  shown_ = true;
}

}  // namespace Skin
