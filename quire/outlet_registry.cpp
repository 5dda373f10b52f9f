#include "quire/outlet_registry.h"

#include <new>

#include "quire/srw_lock.h"

namespace quire {
namespace {

struct Entry {
  Outlet outlet;
  int users;
  Entry* next;

  Entry(const char* path, LogMode mode) : outlet(path, mode), users(0), next(nullptr) {}
};

SrwLock g_lock;
Entry* g_entries = nullptr;

Entry* Find(const char* full_path, LogMode mode) {
  for (Entry* e = g_entries; e != nullptr; e = e->next) {
    if (e->outlet.mode() == mode && ::lstrcmpiA(e->outlet.path(), full_path) == 0) return e;
  }
  return nullptr;
}

}  // namespace

Outlet* AcquireOutlet(const Settings& settings, int day_key) {
  if (settings.path[0] == '\0') return nullptr;
  char full[MAX_PATH];
  DWORD n = ::GetFullPathNameA(settings.path, sizeof(full), full, nullptr);
  if (n == 0 || n >= sizeof(full)) return nullptr;

  ExclusiveLock lock(g_lock);
  Entry* e = Find(full, settings.mode);
  if (e == nullptr) {
    e = new (std::nothrow) Entry(full, settings.mode);
    if (e == nullptr) return nullptr;
    e->next = g_entries;
    g_entries = e;
  }
  {
    win::CsLock outlet_lock(e->outlet.lock());
    e->outlet.Configure(settings, day_key);
  }
  ++e->users;
  return &e->outlet;
}

void ReleaseOutlet(Outlet* outlet) {
  if (outlet == nullptr) return;
  Entry* gone = nullptr;
  {
    ExclusiveLock lock(g_lock);
    for (Entry** link = &g_entries; *link != nullptr; link = &(*link)->next) {
      if (&(*link)->outlet != outlet) continue;
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
