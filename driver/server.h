// The running-server check and the process's mutex.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kd::driver {

// True when the marker "keldo.run" in the Bin directory of the previous
// installation can be opened for reading. An empty previousDirectory (KELDO
// unset or empty) gives false without touching the file system.
bool IsServerRunning(const std::string& previousDirectory);

// Owns an unnamed, unowned mutex for the life of the process. Creation
// failures leave a null handle and are not reported; the installer never
// waits on it.
class KdMutex {
public:
    KdMutex();
    virtual ~KdMutex();
    KdMutex(const KdMutex&) = delete;
    KdMutex& operator=(const KdMutex&) = delete;

    platform::Mutex handle;
};

// The one instance: created before the program entry runs, destroyed after it returns.
extern KdMutex processMutex;

}  // namespace kd::driver
