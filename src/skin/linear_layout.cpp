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

// "main" is the axis the children follow each other on, "cross" the other.
void LayOutInLine(const std::vector<CControlUI*>& items, const SkinRect& inner, int childPadding, bool vertical) {
  auto mainOf = [vertical](SkinSize s) { return vertical ? s.cy : s.cx; };
  auto crossOf = [vertical](SkinSize s) { return vertical ? s.cx : s.cy; };
  auto padBefore = [vertical](const SkinRect& p) { return vertical ? p.top : p.left; };
  auto padAfter = [vertical](const SkinRect& p) { return vertical ? p.bottom : p.right; };
  auto crossBefore = [vertical](const SkinRect& p) { return vertical ? p.left : p.top; };
  auto crossAfter = [vertical](const SkinRect& p) { return vertical ? p.right : p.bottom; };
  auto minMain = [vertical](CControlUI* c) { return vertical ? c->GetMinHeight() : c->GetMinWidth(); };
  auto maxMain = [vertical](CControlUI* c) { return vertical ? c->GetMaxHeight() : c->GetMaxWidth(); };
  auto minCross = [vertical](CControlUI* c) { return vertical ? c->GetMinWidth() : c->GetMinHeight(); };
  auto maxCross = [vertical](CControlUI* c) { return vertical ? c->GetMaxWidth() : c->GetMaxHeight(); };
  const int mainLen = vertical ? inner.Height() : inner.Width();
  const int crossLen = vertical ? inner.Width() : inner.Height();

  // Measure.
  std::vector<CControlUI*> flow;
  std::vector<SkinSize> wants;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    flow.push_back(c);
    wants.push_back(c->EstimateSize(SkinSize{inner.Width(), inner.Height()}));
  }
  int used = 0;
  std::vector<std::pair<int, int>> flexLimits;
  for (size_t i = 0; i < flow.size(); ++i) {
    const SkinRect& pad = flow[i]->GetPadding();
    used += padBefore(pad) + padAfter(pad);
    if (i > 0) used += childPadding;
    int m = mainOf(wants[i]);
    if (m > 0) {
      used += std::max(minMain(flow[i]), std::min(m, maxMain(flow[i])));
    } else {
      flexLimits.emplace_back(minMain(flow[i]), maxMain(flow[i]));
    }
  }
  std::vector<int> shares = ShareSpace(mainLen - used, flexLimits);

  // Arrange.
  int cursor = vertical ? inner.top : inner.left;
  size_t flexIndex = 0;
  for (size_t i = 0; i < flow.size(); ++i) {
    CControlUI* c = flow[i];
    const SkinRect& pad = c->GetPadding();
    if (i > 0) cursor += childPadding;
    cursor += padBefore(pad);
    int m = mainOf(wants[i]);
    int len = m > 0 ? std::max(minMain(c), std::min(m, maxMain(c))) : shares[flexIndex++];
    int cw = crossOf(wants[i]);
    int cross = cw > 0 ? cw : crossLen - crossBefore(pad) - crossAfter(pad);
    cross = std::max(minCross(c), std::min(cross, maxCross(c)));
    cross = std::max(0, cross);
    int crossStart = (vertical ? inner.left : inner.top) + crossBefore(pad);
    SkinRect r = vertical ? SkinRect{crossStart, cursor, crossStart + cross, cursor + len}
                          : SkinRect{cursor, crossStart, cursor + len, crossStart + cross};
    c->SetPos(r);
    cursor += len + padAfter(pad);
  }
}

}  // namespace Skin
