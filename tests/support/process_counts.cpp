// Counts of this process's threads and handles, read in ways Wine answers.
#include "tests/support/process_counts.h"

#include <tlhelp32.h>

#include <vector>

#include "common/win32_raii.h"

int ProcessThreadCount() {
  win::UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int count = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snap.get(), &entry); more;
       more = Thread32Next(snap.get(), &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  return count;
}

namespace {

// One row of SystemHandleInformation.
struct SystemHandleEntry {
  ULONG processId;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

// Wine answers GetProcessHandleCount with 0; the system's handle table
// (NtQuerySystemInformation, class 16) lists every handle with its owner.
DWORD CountFromSystemTable() {
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                             "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<char> table(1 << 16);
  for (;;) {
    ULONG needed = 0;
    LONG status = query(16, table.data(), static_cast<ULONG>(table.size()), &needed);
    if (status == 0) break;
    if (table.size() >= (1u << 26)) return 0;
    table.resize(table.size() * 2 > needed ? table.size() * 2 : needed + 4096);
  }
  const ULONG rows = *reinterpret_cast<const ULONG*>(table.data());
  const auto* entry = reinterpret_cast<const SystemHandleEntry*>(table.data() + sizeof(ULONG_PTR));
  DWORD mine = 0;
  for (ULONG i = 0; i < rows; ++i)
    if (entry[i].processId == GetCurrentProcessId()) ++mine;
  return mine;
}

}  // namespace

DWORD ProcessHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  return CountFromSystemTable();
}
