// The identity readers against the real registry, version query and files under Wine.
#include "net/identity.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files_win.h"
#include "support/process_win.h"
#include "util/text.h"

namespace zr {
namespace {

using namespace test;  // the Windows test helpers of tests/support


const wchar_t kKey[] = L"HKLM\\SOFTWARE\\WOW6432Node\\zrCastrix.exe";

std::wstring RegExe() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return Quoted(std::wstring(system) + L"\\reg.exe");
}

// The machine's one "GUID" value is shared by every test program of this Wine prefix: the
// fixture holds a named mutex while it changes the value, and removes the key afterwards.
class MachineGuidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_mutex = CreateMutexW(nullptr, FALSE, L"zr-net-test-machine-guid");
    ASSERT_NE(nullptr, m_mutex);
    const DWORD wait = WaitForSingleObject(m_mutex, 120000);
    ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
    m_owned = true;
    DeleteKey();
  }
  void TearDown() override {
    DeleteKey();
    if (m_owned) ReleaseMutex(m_mutex);
    if (m_mutex != nullptr) CloseHandle(m_mutex);
  }
  static long SetGuid(const std::wstring& value) {
    return RunToEnd(RegExe() + L" add " + Quoted(kKey) + L" /v GUID /t REG_SZ /d " +
                    Quoted(value) + L" /f");
  }
  static void DeleteKey() { RunToEnd(RegExe() + L" delete " + Quoted(kKey) + L" /f"); }

 private:
  HANDLE m_mutex = nullptr;
  bool m_owned = false;
};

TEST_F(MachineGuidTest, ReadsTheValueSetByReg) {
  ASSERT_EQ(0, SetGuid(L"{2F6E9A10-7C4B-4E0D-9B1A-5D3C8E7F6A21}"));
  EXPECT_EQ("{2F6E9A10-7C4B-4E0D-9B1A-5D3C8E7F6A21}", ReadMachineGuid());
  ASSERT_EQ(0, SetGuid(L"short"));  // a shorter value after a longer one
  EXPECT_EQ("short", ReadMachineGuid());
}

TEST_F(MachineGuidTest, FallsBackWhenKeyOrValueIsMissing) {
  EXPECT_EQ("N/A", ReadMachineGuid());  // no key
  ASSERT_EQ(0, RunToEnd(RegExe() + L" add " + Quoted(kKey) + L" /v Other /d x /f"));
  EXPECT_EQ("N/A", ReadMachineGuid());  // key without "GUID"
}

// Only a string value is an identifier; any other type counts as absent.
TEST_F(MachineGuidTest, ValueOfAnotherTypeIsAbsent) {
  struct Case {
    const wchar_t* type;
    const wchar_t* data;
    const char* expected;
  };
  const Case cases[] = {
      {L"REG_DWORD", L"0x41424344", "N/A"},
      {L"REG_QWORD", L"0x0041004200430044", "N/A"},
      {L"REG_BINARY", L"41004200430044000000", "N/A"},
      {L"REG_MULTI_SZ", L"AB\\0CD", "N/A"},
      {L"REG_EXPAND_SZ", L"{ABCD-%TEMP%}", "{ABCD-%TEMP%}"},
      {L"REG_SZ", L"{ABCD}", "{ABCD}"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(0, RunToEnd(RegExe() + L" add " + Quoted(kKey) + L" /v GUID /t " + c.type +
                          L" /d " + Quoted(c.data) + L" /f"))
        << WideToUtf8(c.type);
    EXPECT_EQ(c.expected, ReadMachineGuid()) << WideToUtf8(c.type);
  }
}

TEST_F(MachineGuidTest, ValueMustFitTheBuffer) {
  struct Case {
    std::size_t characters;
    bool fits;
  };
  // 1023 characters and the terminator are exactly 2048 bytes.
  const Case cases[] = {{1023, true}, {1024, false}, {1500, false}};
  for (const Case& c : cases) {
    std::wstring value;
    for (std::size_t i = 0; i < c.characters; ++i) value += static_cast<wchar_t>(L'A' + i % 26);
    ASSERT_EQ(0, SetGuid(value)) << c.characters;
    EXPECT_EQ(c.fits ? std::string(value.begin(), value.end()) : std::string("N/A"),
              ReadMachineGuid())
        << c.characters;
  }
}

TEST_F(MachineGuidTest, EmptyValueIsEmpty) {
  ASSERT_EQ(0, SetGuid(L""));
  EXPECT_EQ("", ReadMachineGuid());
}

// ReadSourceId reads beside the running executable: the probe is copied into a folder of the
// test's own next to the source.dat of each case.
TEST(ReadSourceId, ReadsTheFileBesideTheExecutable) {
  std::string long3000;
  for (int i = 0; i < 3000; ++i) long3000 += static_cast<char>('0' + i % 10);
  struct Case {
    const char* name;
    bool present;
    std::string content;
    std::string expected;
  };
  const Case cases[] = {
      {"3000 bytes", true, long3000, long3000.substr(0, 1024)},
      {"line break kept", true, "abc\n", "abc\n"},
      {"empty", true, "", ""},
      {"zero byte", true, std::string("web\0tail", 8), "web"},
      {"no file", false, "", ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(CopyFileW(BuildPath(ZR_REPORT_PROBE_EXE).c_str(),
                          (dir / L"report_probe.exe").c_str(), FALSE))
        << c.name;
    if (c.present) {
      ASSERT_TRUE(WriteFileBytes(dir / L"source.dat", c.content)) << c.name;
    }
    ASSERT_EQ(0, RunToEnd(Quoted(dir / L"report_probe.exe") + L" source-id " +
                          Quoted(dir / L"out")))
        << c.name;
    EXPECT_EQ(c.expected, ReadFileBytes(dir / L"out")) << c.name;
  }
}

// The test prefix runs as Wine's default Windows, Windows 7 workstation (6.1, which
// RtlGetVersion confirms). The bitness is "64" only for a 32-bit process on 64-bit Windows
// (WOW64: the 32-bit build's test program in its 64-bit prefix); a 64-bit process says "32".
// Which Windows runs is asked of GetNativeSystemInfo, not of IsWow64Process.
TEST(DescribeOs, TellsTheVersionTheProductTypeAndTheBitness) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion")));
  ASSERT_NE(nullptr, rtlGetVersion);
  OSVERSIONINFOEXW real = {};
  real.dwOSVersionInfoSize = sizeof real;
  ASSERT_EQ(0, rtlGetVersion(&real));
  ASSERT_EQ("6.1", std::to_string(real.dwMajorVersion) + "." + std::to_string(real.dwMinorVersion))
      << "the prefix no longer runs as Windows 7";
  ASSERT_EQ(VER_NT_WORKSTATION, real.wProductType);
  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  const bool windows64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  const bool wow64 = sizeof(void*) == 4 && windows64;
  EXPECT_EQ(wow64 ? "6_1_0_64" : "6_1_0_32", DescribeOs()) << (windows64 ? "64" : "32") << "-bit Windows";
}

}  // namespace
}  // namespace zr
