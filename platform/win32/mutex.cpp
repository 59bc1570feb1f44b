// An unnamed Windows mutex, created unowned; nothing in the installer waits on it.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

struct MutexState {
    ScopedMutexHandle mutex;
};

void StateDeleter::operator()(MutexState* state) const { delete state; }

Mutex CreateUnnamedMutex() {
    ScopedMutexHandle mutex(::CreateMutexA(nullptr, FALSE, nullptr));
    if (!mutex.Valid()) return nullptr;
    return Mutex(new MutexState{ScopedMutexHandle(mutex.Release())});
}

}  // namespace kd::platform
