#include "ui/skin_package_win.h"

#include <windows.h>

namespace zr {
namespace {

constexpr int kPackageResourceId = 108;
constexpr wchar_t kPackageResourceType[] = L"ZIPRES";

}  // namespace

bool OpenSkinPackage(Skin::CSkinContext& context) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(kPackageResourceId), kPackageResourceType);
  HGLOBAL loaded = resource != nullptr ? ::LoadResource(module, resource) : nullptr;
  const DWORD size = loaded != nullptr ? ::SizeofResource(module, resource) : 0;
  // A loaded resource of the program stays mapped for the process's life: the context keeps
  // using these bytes (a module's resources need no FreeResource).
  const void* bytes = size != 0 ? ::LockResource(loaded) : nullptr;
  return bytes != nullptr && context.OpenPackage(bytes, size);
}

}  // namespace zr
