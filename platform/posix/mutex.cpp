// POSIX stand-in for an unnamed Windows mutex: nothing can open it and the
// installer never waits on it, so a handle that is only held is enough.
#include "platform/platform.h"

namespace kd::platform {

namespace {
struct MutexHandle {};
}  // namespace

void* CreateUnnamedMutex() { return new MutexHandle; }

void ReleaseAndCloseMutex(void* handle) { delete static_cast<MutexHandle*>(handle); }

}  // namespace kd::platform
