#include "skin/linear_layout.h"

#include <algorithm>

namespace Skin {

std::vector<int> ShareSpace(int available, const std::vector<std::pair<int, int>>& limits) {
  const size_t n = limits.size();
  std::vector<int> sizes(n, 0);
  std::vector<bool> fixed(n, false);
  size_t open = n;
  int left = available;
  // Fix every item whose limit binds at the current even share, until none does.
  bool changed = true;
  while (changed && open > 0) {
    changed = false;
    int share = std::max(0, left) / static_cast<int>(open);
    for (size_t i = 0; i < n; ++i) {
      if (fixed[i]) continue;
      int clamped = std::max(limits[i].first, std::min(share, limits[i].second));
      if (clamped != share) {
        sizes[i] = clamped;
        fixed[i] = true;
        left -= clamped;
        --open;
        changed = true;
      }
    }
  }
  if (open > 0) {
    int share = std::max(0, left) / static_cast<int>(open);
    int rest = std::max(0, left) - share * static_cast<int>(open);
    size_t last = n;
    for (size_t i = 0; i < n; ++i) {
      if (fixed[i]) continue;
      sizes[i] = share;
      last = i;
    }
    if (last < n) sizes[last] += rest;
  }
  return sizes;
}

namespace {

// One axis of a linear layout: `main` picks the axis the children follow each other on.
template <bool kVertical>
void LinearLayout(const std::vector<CControlUI*>& items, const SkinRect& inner,
                  int child_padding) {
  auto main_of = [](SkinSize s) { return kVertical ? s.cy : s.cx; };
  auto cross_of = [](SkinSize s) { return kVertical ? s.cx : s.cy; };
  auto pad_before = [](const SkinRect& p) { return kVertical ? p.top : p.left; };
  auto pad_after = [](const SkinRect& p) { return kVertical ? p.bottom : p.right; };
  auto cross_before = [](const SkinRect& p) { return kVertical ? p.left : p.top; };
  auto cross_after = [](const SkinRect& p) { return kVertical ? p.right : p.bottom; };
  auto min_main = [](CControlUI* c) { return kVertical ? c->GetMinHeight() : c->GetMinWidth(); };
  auto max_main = [](CControlUI* c) { return kVertical ? c->GetMaxHeight() : c->GetMaxWidth(); };
  auto min_cross = [](CControlUI* c) { return kVertical ? c->GetMinWidth() : c->GetMinHeight(); };
  auto max_cross = [](CControlUI* c) { return kVertical ? c->GetMaxWidth() : c->GetMaxHeight(); };
  const int main_len = kVertical ? inner.Height() : inner.Width();
  const int cross_len = kVertical ? inner.Width() : inner.Height();

  // Measure.
  std::vector<CControlUI*> flow;
  std::vector<SkinSize> wants;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    flow.push_back(c);
    wants.push_back(c->EstimateSize(SkinSize{inner.Width(), inner.Height()}));
  }
  int used = 0;
  std::vector<std::pair<int, int>> flex_limits;
  for (size_t i = 0; i < flow.size(); ++i) {
    const SkinRect& pad = flow[i]->GetPadding();
    used += pad_before(pad) + pad_after(pad);
    if (i > 0) used += child_padding;
    int m = main_of(wants[i]);
    if (m > 0) {
      used += std::max(min_main(flow[i]), std::min(m, max_main(flow[i])));
    } else {
      flex_limits.emplace_back(min_main(flow[i]), max_main(flow[i]));
    }
  }
  std::vector<int> shares = ShareSpace(main_len - used, flex_limits);

  // Arrange.
  int cursor = kVertical ? inner.top : inner.left;
  size_t flex_index = 0;
  for (size_t i = 0; i < flow.size(); ++i) {
    CControlUI* c = flow[i];
    const SkinRect& pad = c->GetPadding();
    if (i > 0) cursor += child_padding;
    cursor += pad_before(pad);
    int m = main_of(wants[i]);
    int len = m > 0 ? std::max(min_main(c), std::min(m, max_main(c))) : shares[flex_index++];
    int cw = cross_of(wants[i]);
    int cross = cw > 0 ? cw : cross_len - cross_before(pad) - cross_after(pad);
    cross = std::max(min_cross(c), std::min(cross, max_cross(c)));
    cross = std::max(0, cross);
    int cross_start = (kVertical ? inner.left : inner.top) + cross_before(pad);
    SkinRect r = kVertical ? SkinRect{cross_start, cursor, cross_start + cross, cursor + len}
                           : SkinRect{cursor, cross_start, cursor + len, cross_start + cross};
    c->SetPos(r);
    cursor += len + pad_after(pad);
  }
}

}  // namespace

void LayOutInLine(const std::vector<CControlUI*>& items, const SkinRect& inner, int child_padding,
                  bool vertical) {
  if (vertical) {
    LinearLayout<true>(items, inner, child_padding);
  } else {
    LinearLayout<false>(items, inner, child_padding);
  }
}

}  // namespace Skin
