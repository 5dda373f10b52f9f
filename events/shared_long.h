// SharedLong: the one kind of value a service's methods and its worker
// threads share without a lock.
#pragma once

#include <windows.h>

#include <atomic>

// A 32-bit value whose every read and write is one whole store.
using SharedLong = std::atomic<LONG>;
