// libFuzzer target: the markup builder with its package, as a window uses them. The bytes
// are a little package:
//
//   <the document "wnd_main.xml">
//   \n@entry font.xml\n<its bytes>
//   \n@entry progress_fore.png\n<its bytes> ...
//
// packed into a zip archive held in memory (entries stored, so that every mutation of a
// document or picture reaches the engine), set as the skin package; then "wnd_main.xml" is
// built through the resource layer (includes, defaults, fonts), attached to a paint manager,
// laid out at the document's size (at most 160 x 120, to keep each run short), painted on a pixel canvas, and every
// clickable control is clicked.
//
// Besides the sanitizers' findings it checks what the windows rely on: every control of the
// tree belongs to the manager and to its container, a name finds the first control of that
// name, a click is reported for a clickable control of the tree, and the canvas stays
// premultiplied.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "skin/container.h"
#include "skin/markup_builder.h"
#include "skin/paint_manager.h"
#include "skin/pixel_canvas.h"
#include "skin/skin_context.h"
#include "support/skin_fixtures.h"

namespace {

constexpr std::string_view kEntry = "\n@entry ";
constexpr int kMaxEntries = 16;
constexpr int kMaxWidth = 160, kMaxHeight = 120;
constexpr int kMaxClicks = 8;

// Splits the bytes into (name, bytes) entries; the first is "wnd_main.xml".
std::vector<std::pair<std::string, std::string>> Entries(std::string_view input) {
  std::vector<std::pair<std::string, std::string>> out;
  std::string name = "wnd_main.xml";
  while (static_cast<int>(out.size()) < kMaxEntries) {
    std::size_t next = input.find(kEntry);
    out.emplace_back(name, std::string(input.substr(0, next)));
    if (next == std::string_view::npos) break;
    input.remove_prefix(next + kEntry.size());
    std::size_t eol = input.find('\n');
    name = std::string(input.substr(0, eol));
    input.remove_prefix(eol == std::string_view::npos ? input.size() : eol + 1);
  }
  return out;
}

// The canvas with the test surface's fixed text metrics, so that text layout (ellipsis,
// alignment) is decided as on a window.
class MeasuringCanvas : public Skin::CPixelCanvas {
 public:
  using CPixelCanvas::CPixelCanvas;
  Skin::SkinSize MeasureText(const std::wstring& text, int, unsigned) override {
    return Skin::SkinSize{static_cast<int>(text.size()) * zr::test::kCharWidth,
                          zr::test::kLineHeight};
  }
};

class ClickCheck : public Skin::INotifySink {
 public:
  explicit ClickCheck(const std::vector<Skin::CControlUI*>& tree) : m_tree(tree) {}
  void Notify(Skin::SkinNotify& msg) override {
    if (msg.type != L"click") return;
    if (!msg.sender || !msg.sender->IsClickable() ||
        std::find(m_tree.begin(), m_tree.end(), msg.sender) == m_tree.end()) {
      std::abort();
    }
  }

 private:
  const std::vector<Skin::CControlUI*>& m_tree;
};

// Checks the tree's links and name lookup; returns its controls, parents first.
std::vector<Skin::CControlUI*> CheckTree(Skin::CPaintManager& pm) {
  std::vector<Skin::CControlUI*> tree;
  pm.GetRoot()->VisitTree([&](Skin::CControlUI* c) { tree.push_back(c); });
  if (tree.front() != pm.GetRoot() || pm.GetRoot()->GetParent()) std::abort();
  for (Skin::CControlUI* c : tree) {
    if (c->GetManager() != &pm) std::abort();
    if (auto* box = static_cast<Skin::CContainerUI*>(c->GetInterface(L"Container"))) {
      for (int i = 0; i < box->GetCount(); ++i) {
        if (box->GetItemAt(i)->GetParent() != box) std::abort();
      }
    }
    if (!c->GetName().empty()) {
      auto first = std::find_if(tree.begin(), tree.end(),
                                [&](Skin::CControlUI* o) { return o->GetName() == c->GetName(); });
      if (pm.FindControl(c->GetName()) != *first) std::abort();
    }
  }
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zr::test::ZipWriter zip;
  for (const auto& [name, bytes] : Entries(std::string_view(reinterpret_cast<const char*>(data), size))) {
    zip.Add(name, bytes, false);
  }
  const std::string package = zip.Finish();
  Skin::CSkinContext skin;
  if (!skin.OpenPackage(package.data(), package.size())) std::abort();

  zr::test::FakeHost host;
  Skin::CPaintManager pm(skin);
  pm.Init(&host);
  Skin::CControlUI* root = Skin::CMarkupBuilder::Create(L"wnd_main.xml", pm);
  if (!root) return 0;
  // Every named control gets its own name as text, as the windows give theirs from the table.
  root->VisitTree([](Skin::CControlUI* c) {
    if (!c->GetName().empty()) c->SetText(c->GetName());
  });
  pm.AttachDialog(root);
  const Skin::SkinSize sizeWanted = pm.Window().size;
  const int width = std::clamp(sizeWanted.cx, 1, kMaxWidth);
  const int height = std::clamp(sizeWanted.cy, 1, kMaxHeight);
  pm.SetClientSize(Skin::SkinSize{width, height});
  pm.Layout();
  const std::vector<Skin::CControlUI*> tree = CheckTree(pm);

  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0);
  MeasuringCanvas canvas(pixels.data(), width, height);
  canvas.SetScaleCache(&pm.ScaledPictures());
  pm.Paint(canvas, Skin::SkinRect{0, 0, width, height});
  for (std::uint32_t p : pixels) {
    const std::uint32_t a = p >> 24;
    if (((p >> 16) & 0xFF) > a || ((p >> 8) & 0xFF) > a || (p & 0xFF) > a) std::abort();
  }

  ClickCheck clicks(tree);
  pm.SetNotifier(&clicks);
  int clicked = 0;
  for (Skin::CControlUI* c : tree) {
    if (!c->IsClickable() || c->GetPos().IsEmpty() || ++clicked > kMaxClicks) continue;
    const Skin::SkinRect r = c->GetPos();
    const Skin::SkinPoint centre{static_cast<int>((std::int64_t{r.left} + r.right) / 2),
                                 static_cast<int>((std::int64_t{r.top} + r.bottom) / 2)};
    pm.OnMouseMove(centre);
    pm.OnButtonDown(centre);
    pm.Paint(canvas, r);  // the pushed look
    pm.OnButtonUp(centre);
  }
  pm.OnMouseLeave();
  pm.SetNotifier(nullptr);
  return 0;
}
