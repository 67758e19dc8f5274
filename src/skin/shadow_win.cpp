#include "skin/shadow_win.h"

#include <cstring>

#include "skin/image_desc.h"

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

void CShadowWindow::Setup(HWND owner, std::shared_ptr<const SkinBitmap> picture, int size, const SkinRect& corner,
                          const SkinRect& destCorner) {
  Destroy();
  if (!owner || !picture || size <= 0) return;
  m_owner = owner;
  m_picture = std::move(picture);
  m_size = size;
  m_corner = corner;
  m_destCorner = destCorner;
  RegisterShadowClass();
  m_hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kShadowClass, L"",
                           WS_POPUP, 0, 0, 0, 0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  Follow();
}

void CShadowWindow::Destroy() {
  if (m_hwnd) DestroyWindow(m_hwnd);
  m_hwnd = nullptr;
  m_owner = nullptr;
  m_shown = false;
}

bool CShadowWindow::Render(CDibBuffer& buffer, int width, int height) {
  if (!buffer.Ensure(width, height)) return false;
  std::memset(buffer.bits(), 0, static_cast<size_t>(width) * height * 4);
  CPixelCanvas canvas(buffer.bits(), width, height);
  SkinRect dest{0, 0, width, height};
  SkinRect source{0, 0, m_picture->width, m_picture->height};
  SkinRect windowArea = dest.Inflated(-m_size, -m_size);
  for (const auto& piece : NineGrid(dest, source, m_corner, m_destCorner)) {
    // The centre lies under the window: leave it transparent.
    if (piece.first == windowArea) continue;
    canvas.DrawBitmap(*m_picture, piece.first, piece.second, 255);
  }
  return true;
}

void CShadowWindow::Hide() {
  if (m_hwnd) ShowWindow(m_hwnd, SW_HIDE);
  m_shown = false;
}

bool CShadowWindow::Follow() {
  if (!m_hwnd || !m_owner) return true;
  if (!IsWindowVisible(m_owner) || IsIconic(m_owner)) {
    Hide();
    return true;
  }
  RECT r;
  GetWindowRect(m_owner, &r);
  int width = r.right - r.left + 2 * m_size;
  int height = r.bottom - r.top + 2 * m_size;
  POINT at{r.left - m_size, r.top - m_size};
  // Behind the window: an owned window stays above its owner, so only the transparent
  // centre keeps the window visible; place it right after the owner all the same.
  const UINT place = SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER;
  if (!m_shown || width != m_sizeShown.cx || height != m_sizeShown.cy) {
    // The system keeps its own copy of the picture: ours goes once handed over, and so does
    // the nine-grid picture it is drawn from.
    if (!m_picture) return false;
    CDibBuffer picture;
    if (!Render(picture, width, height)) return true;
    m_picture.reset();
    SIZE sz{width, height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_hwnd, nullptr, &at, &sz, picture.dc(), &origin, 0, &blend, ULW_ALPHA);
    m_uploaded += static_cast<std::uint64_t>(width) * height * 4;
    m_sizeShown = sz;
    SetWindowPos(m_hwnd, m_owner, 0, 0, 0, 0, place | SWP_NOMOVE | SWP_NOSIZE);
  } else if (at.x != m_where.x || at.y != m_where.y) {
    // A move (a drag step): the system keeps the picture it has; only the place changes.
    SetWindowPos(m_hwnd, m_owner, at.x, at.y, 0, 0, place | SWP_NOSIZE);
  }
  m_where = at;
  m_shown = true;
  return true;
}

}  // namespace Skin
