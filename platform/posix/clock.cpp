// The monotonic clock, pauses and the environment in the POSIX stand-in.
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/environment.h"

namespace kd::platform {

namespace detail {

std::int64_t SystemNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

void SystemSleep(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1'000'000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace detail

bool EnvironmentVariable(const char* name, std::string& value) {
    const char* found = name ? std::getenv(name) : nullptr;
    value = found ? found : "";
    return found != nullptr;
}

}  // namespace kd::platform
