#include "skin/control.h"

#include <map>

#include "skin/paint_manager.h"

namespace Skin {
namespace {

// Splits `name="value" name2='value2'` into pairs; the callback gets each pair in order.
template <typename F>
void ForEachAttribute(const std::wstring& list, F&& f) {
  size_t i = 0;
  const size_t n = list.size();
  while (i < n) {
    while (i < n && (list[i] == L' ' || list[i] == L'\t' || list[i] == L'\r' || list[i] == L'\n')) ++i;
    size_t nameStart = i;
    while (i < n && list[i] != L'=' && list[i] != L' ') ++i;
    std::wstring name = list.substr(nameStart, i - nameStart);
    while (i < n && list[i] == L' ') ++i;
    if (i >= n || list[i] != L'=') return;
    ++i;
    while (i < n && list[i] == L' ') ++i;
    if (i >= n || (list[i] != L'"' && list[i] != L'\'')) return;
    wchar_t quote = list[i++];
    size_t close = list.find(quote, i);
    if (close == std::wstring::npos) return;
    f(name, list.substr(i, close - i));
    i = close + 1;
  }
}

}  // namespace

CControlUI::~CControlUI() {
  if (m_manager) m_manager->ReleaseControl(this);
}

void CControlUI::SetText(const std::wstring& text) {
  if (m_text == text) return;
  m_text = text;
  Invalidate();
  if (m_manager) m_manager->ControlChanged(this, ControlChange::kText);
}

void CControlUI::SetManager(CPaintManager* manager, CControlUI* parent) {
  m_manager = manager;
  m_parent = parent;
}

void CControlUI::SetVisible(bool visible) {
  if (m_visible == visible) return;
  m_visible = visible;
  if (!visible && m_manager) m_manager->ReleaseControl(this);
  NeedUpdate();
  if (m_manager) m_manager->ControlChanged(this, ControlChange::kShown);
}

void CControlUI::SetEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  Invalidate();
  if (m_manager) m_manager->ControlChanged(this, ControlChange::kEnabled);
}

void CControlUI::SetPos(const SkinRect& rect) {
  if (rect == m_pos) return;
  SkinRect old = m_pos;
  m_pos = rect;
  if (m_manager) m_manager->Invalidate(old.Union(m_pos));
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0 || cx == m_fixed.cx) return;
  m_fixed.cx = cx;
  NeedUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0 || cy == m_fixed.cy) return;
  m_fixed.cy = cy;
  NeedUpdate();
}

void CControlUI::SetBkImage(const std::wstring& description) {
  if (m_bkimage == description) return;
  m_bkimage = description;
  Invalidate();
}

void CControlUI::Invalidate() {
  if (m_manager && m_visible) m_manager->Invalidate(m_pos);
}

void CControlUI::NeedUpdate() {
  if (m_manager) m_manager->NeedUpdate();
}

void CControlUI::DoPaint(ISurface& surface, const SkinRect& paint) {
  if (m_pos.Intersect(paint).IsEmpty()) return;
  const Colour bk = CurrentBkColor();
  if (AlphaOf(bk)) surface.FillRoundRect(m_pos, m_borderround, bk);
  if (!m_bkimage.empty()) DrawImage(surface, m_bkimage, m_pos);
  PaintStatusImage(surface);
  PaintText(surface);
  if (m_bordersize <= 0) return;
  Colour c = (m_focused && AlphaOf(m_focusbordercolor)) ? m_focusbordercolor : m_bordercolor;
  surface.DrawBorder(m_pos, m_bordersize, m_borderround, c);
}

bool CControlUI::DrawImage(ISurface& surface, const std::wstring& description, const SkinRect& area) {
  ImageDesc desc;
  if (!m_manager || !ParseImageDesc(description, &desc)) return false;
  const SkinRect dest = ImageDest(desc, area);
  // A picture drawn whole is asked for at the size it takes on the screen, so that a large one
  // is not kept beside its smaller copy.
  const SkinRect device = m_manager->Scale().ToDevice(dest);
  const SkinBitmap* bitmap = m_manager->GetImage(
      desc.file, desc.hasMask, desc.mask, DrawsWhole(desc) ? SkinSize{device.Width(), device.Height()} : SkinSize{});
  if (!bitmap) return false;
  SkinRect source = desc.source.IsEmpty() ? SkinRect{0, 0, bitmap->width, bitmap->height} : desc.source;
  SkinRect saved = surface.GetClip();
  surface.SetClip(saved.Intersect(m_pos));
  for (const auto& piece : NineGrid(dest, source, desc.corner)) {
    surface.DrawBitmap(*bitmap, piece.first, piece.second, desc.fade);
  }
  surface.SetClip(saved);
  return true;
}

void CControlUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  static const std::map<std::wstring, void (*)(CControlUI&, const std::wstring&)> kSetters = {
      {L"name", [](CControlUI& c, const std::wstring& v) { c.m_name = v; }},
      {L"text", [](CControlUI& c, const std::wstring& v) { c.SetText(v); }},
      {L"tooltip", [](CControlUI& c, const std::wstring& v) { c.m_tooltip = v; }},
      {L"accname", [](CControlUI& c, const std::wstring& v) { c.m_accessible.name = v; }},
      {L"accrole", [](CControlUI& c, const std::wstring& v) { c.m_accessible.role = v; }},
      {L"accvalue", [](CControlUI& c, const std::wstring& v) { c.m_accessible.value = v; }},
      {L"width", [](CControlUI& c, const std::wstring& v) { c.SetFixedWidth(ParseInt(v)); }},
      {L"height", [](CControlUI& c, const std::wstring& v) { c.SetFixedHeight(ParseInt(v)); }},
      {L"minwidth", [](CControlUI& c, const std::wstring& v) { c.m_min.cx = ParseInt(v); }},
      {L"maxwidth", [](CControlUI& c, const std::wstring& v) { c.m_max.cx = ParseInt(v); }},
      {L"minheight", [](CControlUI& c, const std::wstring& v) { c.m_min.cy = ParseInt(v); }},
      {L"maxheight", [](CControlUI& c, const std::wstring& v) { c.m_max.cy = ParseInt(v); }},
      {L"float", [](CControlUI& c, const std::wstring& v) { c.m_float = ParseBool(v); }},
      {L"pos",
       [](CControlUI& c, const std::wstring& v) {
         c.m_floatPos = ParseRect(v);
         c.m_fixed = SkinSize{c.m_floatPos.Width(), c.m_floatPos.Height()};
       }},
      {L"padding", [](CControlUI& c, const std::wstring& v) { c.m_padding = ParseRect(v); }},
      {L"bkcolor", [](CControlUI& c, const std::wstring& v) { c.m_bkcolor = ParseColour(v); }},
      {L"bkimage", [](CControlUI& c, const std::wstring& v) { c.m_bkimage = v; }},
      {L"bordercolor", [](CControlUI& c, const std::wstring& v) { c.m_bordercolor = ParseColour(v); }},
      {L"focusbordercolor", [](CControlUI& c, const std::wstring& v) { c.m_focusbordercolor = ParseColour(v); }},
      {L"bordersize", [](CControlUI& c, const std::wstring& v) { c.m_bordersize = ParseInt(v); }},
      {L"borderround", [](CControlUI& c, const std::wstring& v) { c.m_borderround = ParseSize(v); }},
      {L"visible", [](CControlUI& c, const std::wstring& v) { c.SetVisible(ParseBool(v)); }},
      {L"enabled", [](CControlUI& c, const std::wstring& v) { c.SetEnabled(ParseBool(v)); }},
      {L"mouse", [](CControlUI& c, const std::wstring& v) { c.m_mouseEnabled = ParseBool(v); }},
  };
  auto it = kSetters.find(name);
  if (it != kSetters.end()) it->second(*this, value);
}

void CControlUI::ApplyAttributeList(const std::wstring& list) {
  ForEachAttribute(list, [this](const std::wstring& n, const std::wstring& v) { SetAttribute(n, v); });
}

CControlUI* CControlUI::FindControlAt(SkinPoint point) {
  if (!m_visible || !m_mouseEnabled) return nullptr;
  return m_pos.Contains(point) ? this : nullptr;
}

}  // namespace Skin
