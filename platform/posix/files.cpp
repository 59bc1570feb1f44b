// POSIX stand-in for the Windows file calls: backslashes are separators, a
// file without its owner-write bit is read-only (refused for writing and
// deleting, also for root), and directories cannot be opened as files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/posix/paths.h"
#include "platform/stdio_mode.h"

namespace kd::platform {

Error ErrorFromErrno(int code) {
    switch (code) {
    case 0: return Error::None;
    case ENOENT:
    case ENOTDIR: return Error::NotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return Error::AccessDenied;
    case EMFILE:
    case ENFILE: return Error::TooManyOpenFiles;
    case ENOMEM: return Error::NotEnoughMemory;
    case EEXIST: return Error::AlreadyExists;
    case ENOSPC: return Error::DiskFull;
    case ENAMETOOLONG: return Error::InvalidName;
    default: return Error::Other;
    }
}

namespace {


}  // namespace

Stream OpenShared(const char* path, const OpenMode& mode, Error& error) {
    error = detail::TakeFault(FaultPoint::Open);
    if (error != Error::None) return nullptr;
    const std::string native = NativePath(path);
    if (native.empty()) {
        error = Error::NotFound;
        return nullptr;
    }

    struct stat info {};
    if (mode.disposition == Disposition::CreateNew && ::lstat(native.c_str(), &info) == 0) {
        error = Error::AlreadyExists;
        return nullptr;
    }
    const bool exists = ::stat(native.c_str(), &info) == 0;
    if (exists && mode.access != Access::Read && IsReadOnly(info)) {
        error = Error::AccessDenied;
        return nullptr;
    }
    if (exists && S_ISDIR(info.st_mode)) {
        error = Error::AccessDenied;
        return nullptr;
    }

    int flags = O_CLOEXEC | AccessFlags(mode.access);
    if (mode.disposition == Disposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
    if (mode.disposition == Disposition::OpenAlways) flags |= O_CREAT;
    if (mode.disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
    if (mode.append) flags |= O_APPEND;

    // Non-blocking, so a FIFO planted at the name cannot stall the open
    // waiting for its other end; only files and devices are opened.
    Descriptor fd(::open(native.c_str(), flags | O_NONBLOCK, mode.ownerOnly ? 0600 : 0666));
    if (!fd.Valid()) {
        error = ErrorFromErrno(errno);
        return nullptr;
    }
    struct stat opened {};
    if (::fstat(fd.Get(), &opened) != 0 || S_ISDIR(opened.st_mode) || S_ISFIFO(opened.st_mode) ||
        S_ISSOCK(opened.st_mode) || ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        error = Error::AccessDenied;
        return nullptr;
    }
    // No text translation here, so no "t".
    return AdoptDescriptor(std::move(fd), detail::StdioMode(mode).c_str(), error);
}

int AccessFlags(Access access) {
    return access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
}

Stream AdoptDescriptor(Descriptor fd, const char* stdioMode, Error& error) {
    Stream stream(::fdopen(fd.Get(), stdioMode));
    if (!stream) {
        error = Error::Other;
        return nullptr;
    }
    fd.Release();  // the stream closes it now
    error = Error::None;
    return stream;
}

Error EraseFile(const char* path) {
    Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    const std::string native = NativePath(path);
    struct stat info {};
    if (::lstat(native.c_str(), &info) != 0) return ErrorFromErrno(errno);
    if (S_ISDIR(info.st_mode) || IsReadOnly(info)) return Error::AccessDenied;
    return ::unlink(native.c_str()) == 0 ? Error::None : ErrorFromErrno(errno);
}

Error RemoveName(const char* path) {
    Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    const std::string native = NativePath(path);
    struct stat info {};
    if (::lstat(native.c_str(), &info) != 0) return ErrorFromErrno(errno);
    if (S_ISDIR(info.st_mode)) return ::rmdir(native.c_str()) == 0 ? Error::None : ErrorFromErrno(errno);
    if (!S_ISLNK(info.st_mode) && IsReadOnly(info)) return Error::AccessDenied;
    return ::unlink(native.c_str()) == 0 ? Error::None : ErrorFromErrno(errno);
}

bool SameFile(const char* first, const char* second) {
    struct stat a {}, b {};
    if (::stat(NativePath(first).c_str(), &a) != 0) return false;
    if (::stat(NativePath(second).c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Error SetReadOnly(const char* path) {
    const std::string native = NativePath(path);
    struct stat info {};
    if (::stat(native.c_str(), &info) != 0) return ErrorFromErrno(errno);
    const mode_t mode = (info.st_mode & 07777) & ~(S_IWUSR | S_IWGRP | S_IWOTH);
    return ::chmod(native.c_str(), mode) == 0 ? Error::None : ErrorFromErrno(errno);
}

std::size_t WriteBytes(std::FILE* stream, const void* data, std::size_t size) {
    if (size == 0) return 0;
    if (detail::TakeFault(FaultPoint::Write) != Error::None) {
        errno = ENOSPC;
        return 0;
    }
    return std::fwrite(data, 1, size, stream);
}

Error RenameReplacing(const char* from, const char* to) {
    const std::string target = NativePath(to);
    // rename would put the file in place of a link or a device node itself
    // (of /dev/null, say, when run as root).
    struct stat info {};
    // A read-only file is refused as Windows refuses it.
    if (::lstat(target.c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || IsReadOnly(info))) {
        return Error::AccessDenied;
    }
    return ::rename(NativePath(from).c_str(), target.c_str()) == 0 ? Error::None : ErrorFromErrno(errno);
}

bool IsTerminal(std::FILE* stream) { return stream && ::isatty(::fileno(stream)) == 1; }

std::int64_t Tell(std::FILE* stream) { return ::ftello(stream); }

int Seek(std::FILE* stream, std::int64_t offset, int origin) {
    return ::fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? 0 : -1;
}

}  // namespace kd::platform
