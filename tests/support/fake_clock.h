// Puts the platform's fake clock in place for a test's scope: pauses return
// at once and the clock moves by what was asked for.
#pragma once

#include "platform/clock.h"

namespace kd::test {

struct FakeClock {
    FakeClock() { platform::UseFakeClock(true); }
    ~FakeClock() { platform::UseFakeClock(false); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;
};

}  // namespace kd::test
