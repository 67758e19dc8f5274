#include "skin/accessible_win.h"

#include <oleacc.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "skin/accessible_tree.h"
#include "skin/dpi_win.h"

namespace Skin {
namespace {

// IID_IAccessible spelt out: in a static link the import library's symbol may not resolve.
const IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// oleacc.dll and oleaut32.dll, which the updater does not import, are loaded only once assistive
// technology asks for a window's object, and kept.
using LresultFromObjectProc = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using CreateStdAccessibleObjectProc = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);

// A BSTR the client frees with SysFreeString.
BSTR ToBstr(const std::wstring& text) {
  using SysAllocStringLenProc = BSTR(WINAPI*)(const OLECHAR*, UINT);
  static const auto alloc = ProcOf<SysAllocStringLenProc>(LoadSystemDll(L"oleaut32.dll"), "SysAllocStringLen");
  return alloc ? alloc(text.data(), static_cast<UINT>(text.size())) : nullptr;
}

void ClearOut(VARIANT* v) {
  std::memset(v, 0, sizeof(*v));
  v->vt = VT_EMPTY;
}
template <typename T>
void ClearOut(T** out) {
  *out = nullptr;
}

// An empty text is "no such property" (S_FALSE), as the system's objects answer.
HRESULT AnswerText(const std::wstring& text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = ToBstr(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

long RoleOf(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kButton: return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::kLink: return ROLE_SYSTEM_LINK;
    case AccessibleRole::kProgress: return ROLE_SYSTEM_PROGRESSBAR;
    case AccessibleRole::kText: break;
  }
  return ROLE_SYSTEM_STATICTEXT;
}

// The child id of a control among the window's items (0 when it is none).
long ChildIdOf(const CPaintManager& manager, CControlUI* control) {
  auto items = AccessibleControls(manager.GetRoot());
  auto it = std::find(items.begin(), items.end(), control);
  return it == items.end() ? 0 : static_cast<long>(it - items.begin()) + 1;
}

}  // namespace

// The client area's IAccessible. Reference counted; holds the window's manager until
// disconnected.
class CAccessibleObject final : public IAccessible {
 public:
  CAccessibleObject(HWND hwnd, CPaintManager* manager) : m_hwnd(hwnd), m_manager(manager) {}
  void Disconnect() { m_manager = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kIidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&m_refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return refs;
  }

  // IDispatch: not offered (clients use the vtable).
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (HRESULT hr = Open(parent); hr != S_OK) return hr;
    // The window's own object (its frame), which the system makes.
    static const auto create =
        ProcOf<CreateStdAccessibleObjectProc>(LoadSystemDll(L"oleacc.dll"), "CreateStdAccessibleObject");
    if (!create) return E_FAIL;
    return create(m_hwnd, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    if (!m_manager) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(AccessibleControls(m_manager->GetRoot()).size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (HRESULT hr = Open(out); hr != S_OK) return hr;
    // The items are simple elements of this object: no object of their own.
    return Item(child) ? S_FALSE : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (HRESULT hr = Open(name); hr != S_OK) return hr;
    if (IsSelf(child)) {
      wchar_t text[256] = {};
      ::GetWindowTextW(m_hwnd, text, 256);
      return AnswerText(AccessibleTitle(*m_manager, text), name);
    }
    const auto item = Item(child);
    return item ? AnswerText(item->name, name) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return AnswerItemText(child, &AccessibleItem::value, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override { return AnswerText(std::wstring(), out); }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return AnswerNumber(
        child, role, [this] { return ::GetWindow(m_hwnd, GW_OWNER) ? ROLE_SYSTEM_DIALOG : ROLE_SYSTEM_CLIENT; },
        [](const AccessibleItem& item) { return RoleOf(item.role); });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return AnswerNumber(
        child, state,
        [this] {
          long value = STATE_SYSTEM_FOCUSABLE;
          if (!::IsWindowVisible(m_hwnd)) value |= STATE_SYSTEM_INVISIBLE;
          if (::GetFocus() == m_hwnd) value |= STATE_SYSTEM_FOCUSED;
          return value;
        },
        [this](const AccessibleItem& item) {
          long value = 0;
          if (!item.shown) value |= STATE_SYSTEM_INVISIBLE;
          if (!item.enabled) value |= STATE_SYSTEM_UNAVAILABLE;
          if (item.role == AccessibleRole::kText || item.role == AccessibleRole::kProgress) {
            value |= STATE_SYSTEM_READONLY;
          }
          if (item.role == AccessibleRole::kLink) value |= STATE_SYSTEM_LINKED;
          if (item.control == m_manager->GetHot()) value |= STATE_SYSTEM_HOTTRACKED;
          return value;
        });
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override { return AnswerText(std::wstring(), out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
    return AnswerText(std::wstring(), out);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (HRESULT hr = Open(focus); hr != S_OK) return hr;
    if (::GetFocus() != m_hwnd) return S_FALSE;
    focus->vt = VT_I4;
    long id = m_manager->GetFocus() ? ChildIdOf(*m_manager, m_manager->GetFocus()) : 0;
    focus->lVal = id > 0 ? id : CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection) ClearOut(selection);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return AnswerItemText(child, &AccessibleItem::defaultAction, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    if (!m_manager) return CO_E_OBJNOTCONNECTED;
    SkinRect device;
    if (IsSelf(child)) {
      RECT rc;
      ::GetClientRect(m_hwnd, &rc);
      device = SkinRect{rc.left, rc.top, rc.right, rc.bottom};
    } else if (const auto item = Item(child)) {
      device = m_manager->Scale().ToDevice(item->control->GetPos());
    } else {
      return E_INVALIDARG;
    }
    POINT origin{device.left, device.top};
    ::ClientToScreen(m_hwnd, &origin);
    *left = origin.x;
    *top = origin.y;
    *width = device.Width();
    *height = device.Height();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (HRESULT hr = Open(end); hr != S_OK) return hr;
    long count = static_cast<long>(AccessibleControls(m_manager->GetRoot()).size());
    long from = IsSelf(start) ? 0 : (start.vt == VT_I4 ? start.lVal : -1);
    if (from < 0 || from > count) return E_INVALIDARG;
    long to = 0;
    switch (direction) {
      case NAVDIR_FIRSTCHILD: to = from == 0 ? 1 : 0; break;
      case NAVDIR_LASTCHILD: to = from == 0 ? count : 0; break;
      case NAVDIR_NEXT: to = from > 0 ? from + 1 : 0; break;
      case NAVDIR_PREVIOUS: to = from > 0 ? from - 1 : 0; break;
    }
    if (to < 1 || to > count) return S_FALSE;
    end->vt = VT_I4;
    end->lVal = to;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
    if (HRESULT hr = Open(hit); hr != S_OK) return hr;
    POINT point{x, y};
    ::ScreenToClient(m_hwnd, &point);
    RECT rc;
    ::GetClientRect(m_hwnd, &rc);
    if (!::PtInRect(&rc, point)) return S_FALSE;
    hit->vt = VT_I4;
    hit->lVal = CHILDID_SELF;
    SkinPoint at = m_manager->Scale().ToDocument(SkinPoint{point.x, point.y});
    // The innermost item under the point: a control found there, or the item that holds it.
    for (CControlUI* c = m_manager->FindControl(at); c; c = c->GetParent()) {
      if (long id = ChildIdOf(*m_manager, c)) {
        hit->lVal = id;
        break;
      }
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!m_manager) return CO_E_OBJNOTCONNECTED;
    if (IsSelf(child)) return DISP_E_MEMBERNOTFOUND;
    const auto item = Item(child);
    if (!item) return E_INVALIDARG;
    if (item->defaultAction.empty()) return DISP_E_MEMBERNOTFOUND;
    // As a click would: the button's own handling, then the window's notifiers.
    return m_manager->Click(item->control) ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~CAccessibleObject() = default;

  static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

  // How every answer starts: E_POINTER without `out`, else `out` cleared, then
  // CO_E_OBJNOTCONNECTED once the window is gone; S_OK to go on.
  template <typename T>
  HRESULT Open(T* out) const {
    if (!out) return E_POINTER;
    ClearOut(out);
    return m_manager ? S_OK : CO_E_OBJNOTCONNECTED;
  }

  // A number (VT_I4) about the window itself or one of its items.
  template <typename OfSelf, typename OfItem>
  HRESULT AnswerNumber(const VARIANT& child, VARIANT* out, OfSelf ofSelf, OfItem ofItem) const {
    if (HRESULT hr = Open(out); hr != S_OK) return hr;
    const auto item = IsSelf(child) ? std::nullopt : Item(child);
    if (!IsSelf(child) && !item) return E_INVALIDARG;
    out->vt = VT_I4;
    out->lVal = item ? ofItem(*item) : ofSelf();
    return S_OK;
  }
  // A text property that the window itself does not have and each item may.
  HRESULT AnswerItemText(const VARIANT& child, std::wstring AccessibleItem::*field, BSTR* out) const {
    if (HRESULT hr = Open(out); hr != S_OK) return hr;
    if (IsSelf(child)) return S_FALSE;
    const auto item = Item(child);
    return item ? AnswerText((*item).*field, out) : E_INVALIDARG;
  }

  // The item a child id names; none (E_INVALIDARG to the client) for any other id. Only once
  // Open (or a check of its own) found the window connected.
  std::optional<AccessibleItem> Item(const VARIANT& child) const {
    if (child.vt != VT_I4) return std::nullopt;
    auto items = AccessibleControls(m_manager->GetRoot());
    if (child.lVal < 1 || child.lVal > static_cast<long>(items.size())) return std::nullopt;
    return DescribeAccessible(items[static_cast<size_t>(child.lVal - 1)]);
  }

  LONG m_refs = 1;
  HWND m_hwnd;
  CPaintManager* m_manager;
};

CWindowAccessibility::CWindowAccessibility(HWND hwnd, CPaintManager& manager) : m_hwnd(hwnd), m_manager(&manager) {
  m_manager->SetChangeObserver(this);
}

CWindowAccessibility::~CWindowAccessibility() { Disconnect(); }

void CWindowAccessibility::Disconnect() {
  if (m_manager) m_manager->SetChangeObserver(nullptr);
  m_manager = nullptr;
  if (m_object) {
    m_object->Disconnect();
    m_object->Release();
    m_object = nullptr;
  }
}

bool CWindowAccessibility::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  switch (msg) {
    case WM_GETOBJECT: {
      if (static_cast<LONG>(lparam) != OBJID_CLIENT || !m_manager) return false;
      static const auto lresultFromObject =
          ProcOf<LresultFromObjectProc>(LoadSystemDll(L"oleacc.dll"), "LresultFromObject");
      if (!lresultFromObject) return false;
      if (!m_object) m_object = new CAccessibleObject(m_hwnd, m_manager);
      result = lresultFromObject(kIidAccessible, wparam, static_cast<IAccessible*>(m_object));
      return true;
    }
    case WM_SHOWWINDOW:
      // A box comes up: a screen reader reads it as a dialog that takes the focus.
      if (wparam && ::GetWindow(m_hwnd, GW_OWNER)) {
        ::NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, m_hwnd, OBJID_WINDOW, CHILDID_SELF);
        ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_hwnd, OBJID_CLIENT, CHILDID_SELF);
      }
      return false;
    case WM_DESTROY: Disconnect(); return false;
    default: return false;
  }
}

void CWindowAccessibility::ControlChanged(CControlUI* control, ControlChange change) {
  if (!m_manager || !::IsWindow(m_hwnd)) return;
  const LONG child = ChildIdOf(*m_manager, control);
  if (child == 0) return;
  auto notify = [this, child](DWORD event) { ::NotifyWinEvent(event, m_hwnd, OBJID_CLIENT, child); };
  switch (change) {
    case ControlChange::kText:
      // A text's name and value are its text; a button's name is.
      notify(EVENT_OBJECT_NAMECHANGE);
      if (DescribeAccessible(control).role == AccessibleRole::kText) notify(EVENT_OBJECT_VALUECHANGE);
      break;
    case ControlChange::kValue: notify(EVENT_OBJECT_VALUECHANGE); break;
    case ControlChange::kShown: notify(control->IsVisible() ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE); break;
    case ControlChange::kEnabled: notify(EVENT_OBJECT_STATECHANGE); break;
  }
}

}  // namespace Skin
