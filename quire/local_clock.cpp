#include "quire/local_clock.h"

#include <atomic>
#include <cstdint>

namespace quire {
namespace {

constexpr std::uint64_t kTicksPerMinute = 600000000;  // 100 ns ticks

// High half: the UTC minute the offset was taken in, plus one (0 = never).
// Low half: local minus UTC in minutes. One word, so readers never see a
// minute with another minute's offset.
std::atomic<std::uint64_t> g_offset{0};

std::uint64_t Ticks(const FILETIME& f) {
  return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

std::int32_t OffsetMinutesNow(const FILETIME& utc) {
  FILETIME local;
  if (!::FileTimeToLocalFileTime(&utc, &local)) return 0;
  auto diff = static_cast<std::int64_t>(Ticks(local) - Ticks(utc));
  return static_cast<std::int32_t>(diff / static_cast<std::int64_t>(kTicksPerMinute));
}

}  // namespace

void LocalNow(SYSTEMTIME* out) {
  FILETIME utc;
  ::GetSystemTimeAsFileTime(&utc);
  std::uint64_t ticks = Ticks(utc);
  auto minute_tag = static_cast<std::uint32_t>(ticks / kTicksPerMinute) + 1;
  std::uint64_t cached = g_offset.load(std::memory_order_relaxed);
  std::int32_t offset;
  if (static_cast<std::uint32_t>(cached >> 32) == minute_tag) {
    offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(cached));
  } else {
    offset = OffsetMinutesNow(utc);
    g_offset.store((static_cast<std::uint64_t>(minute_tag) << 32) | static_cast<std::uint32_t>(offset),
                   std::memory_order_relaxed);
  }
  ticks += static_cast<std::uint64_t>(static_cast<std::int64_t>(offset) *
                                      static_cast<std::int64_t>(kTicksPerMinute));
  FILETIME local;
  local.dwLowDateTime = static_cast<DWORD>(ticks);
  local.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  if (!::FileTimeToSystemTime(&local, out)) ::GetLocalTime(out);
}

}  // namespace quire
