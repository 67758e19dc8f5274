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

void LayOutInLine(const std::vector<CControlUI*>& items, const SkinRect& inner, int childPadding, bool vertical) {
  // Laid out as down a vertical layout, with the axes swapped when it is horizontal: y is the
  // axis the children follow each other on, x the one across.
  auto flip = [vertical](const SkinRect& r) { return vertical ? r : SkinRect{r.top, r.left, r.bottom, r.right}; };
  auto flipSize = [vertical](SkinSize s) { return vertical ? s : SkinSize{s.cy, s.cx}; };
  const SkinRect area = flip(inner);

  // Measure.
  std::vector<CControlUI*> flow;
  std::vector<SkinSize> wants;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    flow.push_back(c);
    wants.push_back(flipSize(c->EstimateSize(SkinSize{inner.Width(), inner.Height()})));
  }
  int used = 0;
  std::vector<std::pair<int, int>> flexLimits;
  for (size_t i = 0; i < flow.size(); ++i) {
    const SkinRect pad = flip(flow[i]->GetPadding());
    const SkinSize min = flipSize(flow[i]->GetMinSize()), max = flipSize(flow[i]->GetMaxSize());
    used += pad.top + pad.bottom + (i > 0 ? childPadding : 0);
    if (wants[i].cy > 0) {
      used += std::max(min.cy, std::min(wants[i].cy, max.cy));
    } else {
      flexLimits.emplace_back(min.cy, max.cy);
    }
  }
  std::vector<int> shares = ShareSpace(area.Height() - used, flexLimits);

  // Arrange.
  int cursor = area.top;
  size_t flexIndex = 0;
  for (size_t i = 0; i < flow.size(); ++i) {
    const SkinRect pad = flip(flow[i]->GetPadding());
    const SkinSize min = flipSize(flow[i]->GetMinSize()), max = flipSize(flow[i]->GetMaxSize());
    cursor += pad.top + (i > 0 ? childPadding : 0);
    int len = wants[i].cy > 0 ? std::max(min.cy, std::min(wants[i].cy, max.cy)) : shares[flexIndex++];
    int cross = wants[i].cx > 0 ? wants[i].cx : area.Width() - pad.left - pad.right;
    cross = std::max(0, std::max(min.cx, std::min(cross, max.cx)));
    const int x = area.left + pad.left;
    flow[i]->SetPos(flip(SkinRect{x, cursor, x + cross, cursor + len}));
    cursor += len + pad.bottom;
  }
}

}  // namespace Skin
