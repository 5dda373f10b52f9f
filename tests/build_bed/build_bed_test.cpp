// The test bed itself: programs run under Wine as Windows processes of the
// build's own architecture (a 32-bit tree must not be tested by a 64-bit
// loader or the other way round), and a crashing program is reported as a
// failure rather than a dialog.
#include <windows.h>

#include <gtest/gtest.h>

#ifdef _WIN64
constexpr size_t kPointerSize = 8;
constexpr WORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr size_t kPointerSize = 4;
constexpr WORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

TEST(BuildBed, RunsAsAWindowsProcessOfItsOwnArchitecture) {
  EXPECT_EQ(sizeof(void*), kPointerSize);
  // The image header says what the linker made, whatever the compiler says.
  auto base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->FileHeader.Machine, kMachine);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
}

TEST(BuildBed, CrashingChildEndsWithAnExceptionCode) {
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  char cmd[MAX_PATH + 64];
  wsprintfA(cmd, "\"%s\" --gtest_filter=BuildBed.DISABLED_Crash --gtest_also_run_disabled_tests", self);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0) << "a crash must not hang";
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_NE(code, 0u);
}

TEST(BuildBed, DISABLED_Crash) {
  volatile int* p = nullptr;
  *p = 1;
}
