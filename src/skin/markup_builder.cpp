#include "skin/markup_builder.h"

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <vector>

#include "skin/button.h"
#include "skin/container.h"
#include "skin/image_desc.h"
#include "skin/label.h"
#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "skin/tab_layout.h"
#include "skin/linear_layout.h"
#include "util/ascii.h"
#include "util/text.h"

namespace Skin {
namespace {

// Includes nest at most this deep, so that a document including itself cannot loop, and a
// build loads at most this many included documents in all, so that documents that include
// each other several times cannot multiply (ten includes a level, eight levels deep, would be
// 10^8 loads). The shipped documents include one document each.
constexpr int kMaxIncludeDepth = 8;
constexpr int kMaxIncludes = 64;
// Controls nest at most this deep; deeper elements are skipped (the documents nest 6 deep),
// so that no document can exhaust the stack.
constexpr int kMaxNesting = 64;

std::wstring W(const char* utf8) { return zr::Utf8ToWide(utf8); }

bool LoadDocument(const CSkinContext& context, const std::wstring& file, pugi::xml_document* doc) {
  std::vector<std::uint8_t> bytes;
  if (!context.ReadEntry(file, &bytes) || bytes.empty()) return false;
  return static_cast<bool>(doc->load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8));
}

class Builder {
 public:
  explicit Builder(CPaintManager& manager) : m_manager(manager) {}

  CControlUI* Build(const pugi::xml_document& doc) {
    pugi::xml_node window = doc.document_element();
    if (!window) return nullptr;
    if (zr::EqualsIgnoringAsciiCase(W(window.name()), L"Window")) {
      ApplyWindowAttributes(window);
    }
    return WindowChildren(window, 0);
  }

 private:
  void ApplyWindowAttributes(pugi::xml_node window) {
    static const std::map<std::wstring, void (*)(WindowSettings&, const std::wstring&)> kSetters = {
        {L"size", [](WindowSettings& w, const std::wstring& v) { w.size = ParseSize(v); }},
        {L"caption", [](WindowSettings& w, const std::wstring& v) { w.caption = ParseRect(v); }},
        {L"roundcorner", [](WindowSettings& w, const std::wstring& v) { w.roundcorner = ParseSize(v); }},
        {L"defaultfontcolor", [](WindowSettings& w, const std::wstring& v) { w.defaultFontColour = ParseColour(v); }},
        {L"showshadow", [](WindowSettings& w, const std::wstring& v) { w.showShadow = ParseBool(v); }},
        {L"shadowimage", [](WindowSettings& w, const std::wstring& v) { w.shadowImage = v; }},
        {L"shadowsize", [](WindowSettings& w, const std::wstring& v) { w.shadowSize = ParseInt(v); }},
        {L"shadowcorner", [](WindowSettings& w, const std::wstring& v) { w.shadowCorner = ParseRect(v); }},
        {L"acctitle", [](WindowSettings& w, const std::wstring& v) { w.accessibleTitle = v; }},
    };
    for (pugi::xml_attribute a : window.attributes()) {
      auto it = kSetters.find(W(a.name()));
      if (it != kSetters.end()) it->second(m_manager.Window(), W(a.value()));
    }
  }

  void AddFont(pugi::xml_node node) {
    FontInfo f;
    f.name = W(node.attribute("name").value());
    if (f.name.empty()) f.name = CFontTable::BuiltInDefault().name;
    f.size = node.attribute("size") ? ParseInt(W(node.attribute("size").value())) : 12;
    f.bold = ParseBool(W(node.attribute("bold").value()));
    f.underline = ParseBool(W(node.attribute("underline").value()));
    f.italic = ParseBool(W(node.attribute("italic").value()));
    int id = node.attribute("id") ? ParseInt(W(node.attribute("id").value())) : m_fontCount;
    ++m_fontCount;
    m_manager.Fonts().Add(id, f, ParseBool(W(node.attribute("shared").value())),
                          ParseBool(W(node.attribute("default").value())));
  }

  // The document an Include element names, within the depth and the build's budget.
  bool LoadInclude(pugi::xml_node include, int depth, pugi::xml_document* doc) {
    if (depth >= kMaxIncludeDepth || m_includesLoaded >= kMaxIncludes) return false;
    ++m_includesLoaded;
    return LoadDocument(m_manager.Context(), W(include.attribute("source").value()), doc);
  }

  // Calls `element(name, node)` for each element child of `parent` but an Include, and
  // `included(top)` with the top element of each document an Include names (none when it
  // cannot be loaded).
  template <typename Included, typename Element>
  void ForEachChild(pugi::xml_node parent, int depth, Included included, Element element) {
    for (pugi::xml_node node : parent.children()) {
      if (node.type() != pugi::node_element) continue;
      const std::wstring name = W(node.name());
      if (!zr::EqualsIgnoringAsciiCase(name, L"Include")) {
        element(name, node);
        continue;
      }
      pugi::xml_document document;
      if (LoadInclude(node, depth, &document)) included(document.document_element());
    }
  }

  // The window-level children: fonts, defaults, includes, then the first control.
  CControlUI* WindowChildren(pugi::xml_node parent, int depth) {
    CControlUI* root = nullptr;
    const auto included = [&](pugi::xml_node top) {
      std::unique_ptr<CControlUI> sub(WindowChildren(top, depth + 1));
      if (!root) root = sub.release();
    };
    ForEachChild(parent, depth, included, [&](const std::wstring& name, pugi::xml_node node) {
      if (zr::EqualsIgnoringAsciiCase(name, L"Font")) {
        AddFont(node);
      } else if (zr::EqualsIgnoringAsciiCase(name, L"Default")) {
        m_defaults[zr::AsciiLower(W(node.attribute("name").value()))] = W(node.attribute("value").value());
      } else if (!root) {
        // Image and Style elements make no control (pictures load on first use): the first
        // control is the root.
        root = Control(node, depth);
      }
    });
    return root;
  }

  void ChildrenInto(CContainerUI* box, pugi::xml_node parent, int depth, int nesting) {
    if (nesting >= kMaxNesting) return;
    const auto included = [&](pugi::xml_node top) {
      CControlUI* sub = zr::EqualsIgnoringAsciiCase(W(top.name()), L"Window") ? WindowChildren(top, depth + 1)
                                                                              : Control(top, depth + 1, nesting + 1);
      if (sub) box->Add(sub);
    };
    ForEachChild(parent, depth, included, [&](const std::wstring&, pugi::xml_node node) {
      if (CControlUI* child = Control(node, depth, nesting + 1)) box->Add(child);
    });
  }

  CControlUI* Control(pugi::xml_node node, int depth, int nesting = 0) {
    std::wstring element = W(node.name());
    CControlUI* control = CMarkupBuilder::CreateBuiltIn(element);
    if (!control) return nullptr;
    control->SetManager(&m_manager, nullptr);
    auto defaults = m_defaults.find(zr::AsciiLower(element));
    if (defaults != m_defaults.end()) control->ApplyAttributeList(defaults->second);
    for (pugi::xml_attribute a : node.attributes()) {
      control->SetAttribute(W(a.name()), W(a.value()));
    }
    if (auto* box = static_cast<CContainerUI*>(control->GetInterface(L"Container"))) {
      ChildrenInto(box, node, depth, nesting);
    }
    return control;
  }

  CPaintManager& m_manager;
  int m_includesLoaded = 0;  // included documents loaded by this build
  int m_fontCount = 0;
  std::map<std::wstring, std::wstring> m_defaults;  // attribute lists by element name in lower case
};

}  // namespace

CControlUI* CMarkupBuilder::CreateBuiltIn(const std::wstring& e) {
  if (e == L"Control") return new CControlUI();
  if (e == L"Label") return new CLabelUI();
  if (e == L"Text") return new CTextUI();
  if (e == L"Button") return new CButtonUI();
  if (e == L"Progress") return new CProgressUI();
  if (e == L"Container") return new CContainerUI();
  if (e == L"VerticalLayout") return new CVerticalLayoutUI();
  if (e == L"HorizontalLayout") return new CHorizontalLayoutUI();
  if (e == L"TabLayout") return new CTabLayoutUI();
  return nullptr;
}

CControlUI* CMarkupBuilder::Create(const std::wstring& file, CPaintManager& manager) {
  pugi::xml_document doc;
  if (!LoadDocument(manager.Context(), file, &doc)) return nullptr;
  return Builder(manager).Build(doc);
}

CControlUI* CMarkupBuilder::CreateFromText(const std::string& text, CPaintManager& manager) {
  pugi::xml_document doc;
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) return nullptr;
  return Builder(manager).Build(doc);
}

}  // namespace Skin
