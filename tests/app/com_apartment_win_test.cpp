// CComApartment under Wine: each case runs on a thread of its own, which starts outside COM or
// in the apartment the case names, and checks the thread's apartment inside and after the scope.
#include "app/com_apartment_win.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

namespace zr {
namespace {

enum class Apartment { kNone, kSingleThreaded, kMultithreaded };

const char* Name(Apartment a) {
  return a == Apartment::kNone ? "none" : a == Apartment::kSingleThreaded ? "STA" : "MTA";
}

Apartment Current() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (FAILED(CoGetApartmentType(&type, &qualifier))) return Apartment::kNone;
  return type == APTTYPE_MTA ? Apartment::kMultithreaded : Apartment::kSingleThreaded;
}

TEST(ComApartment, EntersASingleThreadedApartmentAndLeavesOnlyWhatItEntered) {
  struct Case {
    Apartment before;        // the thread's apartment when the scope begins
    bool entered;            // whether the scope counts as having entered COM
    Apartment inside;        // during the scope
  } cases[] = {
      {Apartment::kNone, true, Apartment::kSingleThreaded},
      {Apartment::kSingleThreaded, true, Apartment::kSingleThreaded},  // S_FALSE: one more reference
      {Apartment::kMultithreaded, false, Apartment::kMultithreaded},   // RPC_E_CHANGED_MODE
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Name(c.before));
    std::thread([&c] {
      if (c.before == Apartment::kSingleThreaded) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (c.before == Apartment::kMultithreaded) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      ASSERT_EQ(Current(), c.before);
      {
        CComApartment com;
        EXPECT_EQ(com.entered(), c.entered);
        EXPECT_EQ(Current(), c.inside);
      }
      // The scope is balanced: the thread is back where it was, and the thread's own
      // initialisation is still the one to undo.
      EXPECT_EQ(Current(), c.before);
      if (c.before != Apartment::kNone) CoUninitialize();
      EXPECT_EQ(Current(), Apartment::kNone);
    }).join();
  }
}

}  // namespace
}  // namespace zr
