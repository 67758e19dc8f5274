#include "ui/skin_package.h"

#include <windows.h>

#include "skin/resources.h"

namespace zr {
namespace {

constexpr int kPackageResourceId = 108;
constexpr wchar_t kPackageResourceType[] = L"ZIPRES";
constexpr wchar_t kResourceFolder[] = L"UpdaterSkin\\";

}  // namespace

bool SetUpSkinPackage() {
  Skin::CResourceSettings::SetResourceKind(Skin::ResourceKind::kZipInMemory);
  Skin::CResourceSettings::SetResourcePath(Skin::CResourceSettings::GetInstancePath() + kResourceFolder);

  HMODULE module = static_cast<HMODULE>(Skin::CResourceSettings::GetResourceModule());
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(kPackageResourceId), kPackageResourceType);
  if (resource == nullptr) return false;
  HGLOBAL loaded = ::LoadResource(module, resource);
  if (loaded == nullptr) return false;
  const DWORD size = ::SizeofResource(module, resource);
  if (size == 0) return false;
  // A loaded resource of the program stays mapped for the process's life: the engine keeps
  // using these bytes, and FreeResource does nothing to them.
  const void* bytes = ::LockResource(loaded);
  const bool ready = bytes != nullptr && Skin::CResourceSettings::SetResourceZip(bytes, size);
  ::FreeResource(loaded);
  return ready;
}

}  // namespace zr
