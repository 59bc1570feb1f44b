// Shared by the POSIX stand-in's translation units.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kd::platform {

// A Windows-style path as this system names it: every "\" becomes "/".
// A null path gives the empty string.
inline std::string NativePath(const char* path) {
    std::string native = path ? path : "";
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

Error ErrorFromErrno(int code);

}  // namespace kd::platform
