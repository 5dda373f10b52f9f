// Names of the files that one log writes, and the folders they live in.
//
// Date mode: the day goes before the extension of the configured name,
// C:\Shop\Cashlog\CashRollback.log -> C:\Shop\Cashlog\CashRollback-2026-12-08.log
// (a name without extension gets it at its end). Rollback mode: backups are
// the configured name with ".1", ".2", ... appended, ".1" the newest.
#pragma once

#include <windows.h>

#include <cstddef>

namespace quire {

// A local calendar day as one comparable number, 20261208.
int DayKey(const SYSTEMTIME& time);

// Each writes a zero-terminated name into out and returns false when it
// would not fit in capacity bytes (out is then not to be used).
bool DatedFileName(const char* path, int day_key, char* out, std::size_t capacity);
bool BackupFileName(const char* path, unsigned index, char* out, std::size_t capacity);

// Creates every missing folder on the way to the file named by path.
void CreateParentFolders(const char* path);

}  // namespace quire
