// POSIX stand-in for an unnamed Windows mutex: nothing can open it and the
// installer never waits on it, so a handle that is only held is enough.
#include "platform/platform.h"

namespace kd::platform {

struct MutexState {};

void StateDeleter::operator()(MutexState* state) const { delete state; }

Mutex CreateUnnamedMutex() { return Mutex(new MutexState); }

}  // namespace kd::platform
