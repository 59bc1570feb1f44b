// Running-server check and KdMutex.
#include "driver/server.h"

#include "platform/platform.h"
#include "util/files.h"
#include "util/strings.h"

namespace kd::driver {

bool IsServerRunning(const std::string& previousDirectory) {
    // Emptiness is tested on the raw value, the path built from the trimmed one:
    // a value of blanks only looks for Bin\keldo.run in the current directory.
    if (previousDirectory.empty()) return false;
    std::string marker = previousDirectory;
    util::TrimString(marker, false, true);
    util::AddTrailingBackslash(marker);
    marker += "Bin";
    util::AddTrailingBackslash(marker);
    marker += "keldo.run";
    return util::FileExists(marker.c_str());
}

KdMutex::KdMutex() : handle(platform::CreateUnnamedMutex()) {}

KdMutex::~KdMutex() = default;  // releases and closes the mutex

KdMutex processMutex;

}  // namespace kd::driver
