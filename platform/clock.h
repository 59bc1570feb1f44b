// The clock and pauses: a monotonic count of milliseconds and a sleep. Tests
// replace both with a fake clock that moves only when the program sleeps, so
// retries and time limits take no real time.
#pragma once

#include <cstdint>

namespace kd::platform {

// Milliseconds since an arbitrary start, never going back (Win32:
// GetTickCount64; POSIX: clock_gettime(CLOCK_MONOTONIC)).
std::int64_t Now();

// Pauses the calling thread (Win32: Sleep).
void SleepMs(unsigned milliseconds);

// Test only: while on, Now starts from a fixed count and moves only by what
// SleepMs is asked for, and SleepMs returns at once.
void UseFakeClock(bool on);

}  // namespace kd::platform
