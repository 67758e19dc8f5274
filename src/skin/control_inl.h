// Template part of control.h.
#pragma once

namespace Skin {

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

}  // namespace Skin
