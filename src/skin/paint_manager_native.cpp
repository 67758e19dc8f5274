// Native build: there are no windows; only the portable half of the manager is used.
#include "skin/paint_manager.h"

namespace Skin {

void CPaintManager::InitWindow(void* hwnd, const std::wstring& name) {
  hwnd_ = hwnd;
  name_ = name;
}

bool CPaintManager::MessageHandler(unsigned, WParam, LParam, LResult&) { return false; }

unsigned CPaintManager::DeferredWorkMessage() { return 0; }

}  // namespace Skin
