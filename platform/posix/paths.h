// Shared by the POSIX stand-in's translation units.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

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

// A file descriptor, closed when it goes out of scope unless released: the
// stand-in's counterpart of the Win32 handle types.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept : fd(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }
    int Release() {
        const int held = fd;
        fd = -1;
        return held;
    }
    void Reset(int next = -1) {
        if (fd >= 0) ::close(fd);
        fd = next;
    }

private:
    int fd;
};

// Wraps the open descriptor in a stream of the stdio mode `stdioMode`. Null
// on failure, with the descriptor closed and `error` set to Other; else
// error None.
Stream AdoptDescriptor(Descriptor fd, const char* stdioMode, Error& error);

}  // namespace kd::platform
