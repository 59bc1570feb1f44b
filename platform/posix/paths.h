// Shared by the POSIX stand-in's translation units.
#pragma once

#include <sys/stat.h>

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

// The read-only attribute: a file without its owner-write bit.
inline bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

// O_RDONLY, O_WRONLY or O_RDWR.
int AccessFlags(Access access);

// Wraps the open descriptor `fd` in a stream of the stdio mode `stdioMode`.
// Null on failure, with `fd` closed and `error` set to Other; else error None.
Stream AdoptDescriptor(int fd, const char* stdioMode, Error& error);

}  // namespace kd::platform
