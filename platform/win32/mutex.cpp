// An unnamed Windows mutex, created unowned; nothing in the installer waits on it.
#include <windows.h>

#include "platform/platform.h"

namespace kd::platform {

void* CreateUnnamedMutex() { return ::CreateMutexA(nullptr, FALSE, nullptr); }

void ReleaseAndCloseMutex(void* handle) {
    // ReleaseMutex fails unless this thread owns the mutex; that is expected.
    ::ReleaseMutex(static_cast<HANDLE>(handle));
    ::CloseHandle(static_cast<HANDLE>(handle));
}

}  // namespace kd::platform
