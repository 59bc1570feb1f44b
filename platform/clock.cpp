// The fake clock behind Now and SleepMs, the same for both platform
// implementations, which supply the real clock.
#include "platform/clock.h"

namespace kd::platform {

namespace detail {
std::int64_t SystemNow();
void SystemSleep(unsigned milliseconds);
}  // namespace detail

namespace {

struct FakeClock {
    bool on = false;
    std::int64_t now = 0;
};

FakeClock& Fake() {
    static FakeClock clock;
    return clock;
}

}  // namespace

void UseFakeClock(bool on) {
    // Far from zero, so that code which takes 0 for "never" sees a real time.
    Fake() = {on, 1'000'000};
}

std::int64_t Now() { return Fake().on ? Fake().now : detail::SystemNow(); }

void SleepMs(unsigned milliseconds) {
    if (Fake().on) {
        Fake().now += milliseconds;
        return;
    }
    detail::SystemSleep(milliseconds);
}

}  // namespace kd::platform
