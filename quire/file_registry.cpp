#include "quire/file_registry.h"

#include <cstring>
#include <new>

#include "quire/srw_lock.h"

namespace quire {
namespace {

struct Entry {
  LogFile file;
  int users;
  Entry* next;

  Entry(const char* path, LogMode mode) : file(path, mode), users(0), next(nullptr) {}
};

SrwLock g_lock;
Entry* g_entries = nullptr;

Entry* Find(const char* full_path, LogMode mode) {
  for (Entry* e = g_entries; e != nullptr; e = e->next) {
    if (e->file.mode() == mode && ::lstrcmpiA(e->file.path(), full_path) == 0) return e;
  }
  return nullptr;
}

}  // namespace

LogFile* AcquireLogFile(const Settings& settings, int day_key) {
  if (settings.path[0] == '\0') return nullptr;
  char full[MAX_PATH];
  DWORD n = ::GetFullPathNameA(settings.path, sizeof(full), full, nullptr);
  if (n == 0 || n >= sizeof(full)) return nullptr;

  ExclusiveLock lock(g_lock);
  Entry* e = Find(full, settings.mode);
  if (e == nullptr) {
    e = new (std::nothrow) Entry(full, settings.mode);
    if (e == nullptr) return nullptr;
    win::CsLock file_lock(e->file.lock());
    e->file.SetLimits(settings.max_file_size, settings.max_backup_index);
    e->file.Open(day_key);
    e->next = g_entries;
    g_entries = e;
  } else {
    win::CsLock file_lock(e->file.lock());
    e->file.SetLimits(settings.max_file_size, settings.max_backup_index);
    // A new set-up is the moment to try again a file that would not open.
    if (!e->file.is_open()) e->file.Open(day_key);
  }
  ++e->users;
  return &e->file;
}

void ReleaseLogFile(LogFile* file) {
  if (file == nullptr) return;
  Entry* gone = nullptr;
  {
    ExclusiveLock lock(g_lock);
    for (Entry** link = &g_entries; *link != nullptr; link = &(*link)->next) {
      if (&(*link)->file != file) continue;
      if (--(*link)->users == 0) {
        gone = *link;
        *link = gone->next;
      }
      break;
    }
  }
  delete gone;
}

}  // namespace quire
