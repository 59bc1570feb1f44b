// The monotonic clock, pauses and the environment on Windows.
#include <windows.h>

#include <string>

#include "platform/clock.h"
#include "platform/environment.h"

namespace kd::platform {

namespace detail {

std::int64_t SystemNow() { return static_cast<std::int64_t>(::GetTickCount64()); }

void SystemSleep(unsigned milliseconds) { ::Sleep(milliseconds); }

}  // namespace detail

bool EnvironmentVariable(const char* name, std::string& value) {
    value.clear();
    if (!name) return false;
    ::SetLastError(ERROR_SUCCESS);
    DWORD size = ::GetEnvironmentVariableA(name, nullptr, 0);
    // 0 is also the answer for an existing empty variable; only the error tells.
    if (size == 0) return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    // The value may change between the calls: ask again until it fits.
    for (;;) {
        value.resize(size);
        const DWORD length = ::GetEnvironmentVariableA(name, value.data(), size);
        if (length == 0) {
            value.clear();
            return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        if (length < size) {
            value.resize(length);
            return true;
        }
        size = length;
    }
}

}  // namespace kd::platform
