// Shared by the POSIX stand-in's translation units.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kd::platform {

// A Windows-style path as this system names it: every "\" becomes "/".
inline std::string NativePath(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The same for a C string; a null path gives the empty string.
inline std::string NativePath(const char* path) {
    return NativePath(std::string(path ? path : ""));
}

Error ErrorFromErrno(int code);

}  // namespace kd::platform
