#include "skin/font_table.h"

#include <mutex>

namespace Skin {
namespace {

struct Shared {
  std::mutex mutex;
  std::map<int, FontInfo> fonts;
  bool has_default = false;
  FontInfo default_font;
};

Shared& TheShared() {
  static Shared* shared = new Shared();  // lives until the process ends
  return *shared;
}

}  // namespace

FontInfo CFontTable::BuiltInDefault() {
  FontInfo f;
  f.name = L"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑
  f.size = 12;
  return f;
}

void CFontTable::Add(int id, const FontInfo& font, bool shared, bool is_default) {
  if (shared) {
    auto& s = TheShared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.fonts[id] = font;
    if (is_default) {
      s.has_default = true;
      s.default_font = font;
    }
    return;
  }
  own_[id] = font;
  if (is_default) {
    has_default_ = true;
    default_ = font;
  }
}

FontInfo CFontTable::GetDefault() const {
  if (has_default_) return default_;
  auto& s = TheShared();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.has_default ? s.default_font : BuiltInDefault();
}

FontInfo CFontTable::Get(int index) const {
  auto it = own_.find(index);
  if (it != own_.end()) return it->second;
  {
    auto& s = TheShared();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto sit = s.fonts.find(index);
    if (sit != s.fonts.end()) return sit->second;
  }
  return GetDefault();
}

void CFontTable::ResetShared() {
  auto& s = TheShared();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.fonts.clear();
  s.has_default = false;
}

size_t CFontTable::SharedCount() {
  auto& s = TheShared();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.fonts.size();
}

}  // namespace Skin
