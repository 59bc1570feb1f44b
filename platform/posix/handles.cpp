// POSIX stand-in for the directory-handle calls: every name is looked up
// relative to an open directory and never through a symbolic link at it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/posix/interrupt.h"
#include "platform/posix/paths.h"

namespace kd::platform {

struct DirState {
    int fd = -1;
    ~DirState() {
        if (fd >= 0) ::close(fd);
    }
};

void StateDeleter::operator()(DirState* state) const { delete state; }

// An entry held for closing. Anything but a directory is held by its name in
// the directory (which the walk keeps open) until it must change, and is
// changed only if it is still what was judged.
struct ClosingState {
    int fd = -1;
    int dirFd = -1;
    std::string name;
    struct stat judged {};
    ~ClosingState() {
        if (fd >= 0) ::close(fd);
    }
};

void StateDeleter::operator()(ClosingState* state) const { delete state; }

namespace {

constexpr int DirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr mode_t OthersWrite = S_IWGRP | S_IWOTH;

// ELOOP is what O_NOFOLLOW gives for a link at the name.
Error ErrorOfOpen(int code) { return code == ELOOP ? Error::IsLink : ErrorFromErrno(code); }

DirHandle Adopt(int fd, Error& error) {
    if (fd < 0) {
        error = ErrorOfOpen(errno);
        return nullptr;
    }
    error = Error::None;
    return DirHandle(new DirState{fd});
}

void Describe(const struct stat& info, EntryInfo& entry) {
    entry.type = S_ISDIR(info.st_mode)   ? EntryType::Directory
                 : S_ISREG(info.st_mode) ? EntryType::File
                 : S_ISLNK(info.st_mode) ? EntryType::Link
                                         : EntryType::Special;
    entry.owner = info.st_uid == 0           ? Account::System
                  : info.st_uid == ::geteuid() ? Account::RunningAccount
                                               : Account::Other;
    entry.readOnly = !S_ISLNK(info.st_mode) && IsReadOnly(info);
    entry.nameCount = static_cast<unsigned>(info.st_nlink);
    entry.volume = static_cast<std::uint64_t>(info.st_dev);
    entry.index = static_cast<std::uint64_t>(info.st_ino);
}

struct DirCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// Group or other write stands for an inherited entry granting Other every
// right; the sticky bit keeps others from deleting what is not theirs.
AccessList AccessOfMode(mode_t mode) {
    AccessList list;
    if ((mode & OthersWrite) != 0) {
        AccessEntry entry;
        entry.inherited = true;
        entry.toChildren = true;
        entry.mask = AddFileRight | AddSubdirectoryRight | ((mode & S_ISVTX) ? 0 : DeleteChildRight);
        list.entries.push_back(entry);
    }
    return list;
}

}  // namespace

DirHandle OpenDirectory(const char* path, Error& error) {
    return Adopt(::open(NativePath(path).c_str(), DirFlags), error);
}

DirHandle OpenDirectoryAt(const DirHandle& dir, const std::string& name, Error& error) {
    AtStep(Step::Open, name);
    error = detail::TakeFault(FaultPoint::Lookup);
    if (error != Error::None) return nullptr;
    DirHandle opened = Adopt(::openat(dir->fd, name.c_str(), DirFlags | O_NOFOLLOW), error);
    // With O_DIRECTORY a link at the name may give ENOTDIR rather than ELOOP.
    struct stat info {};
    if (error == Error::NotFound && ::fstatat(dir->fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        error = Error::IsLink;
    }
    return opened;
}

Error InfoAt(const DirHandle& dir, const std::string& name, EntryInfo& info) {
    info = {};
    const Error fault = detail::TakeFault(FaultPoint::Lookup);
    if (fault != Error::None) return fault;
    struct stat status {};
    if (::fstatat(dir->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        const Error error = ErrorFromErrno(errno);
        return error == Error::NotFound ? Error::None : error;
    }
    Describe(status, info);
    return Error::None;
}

Error InfoOf(const DirHandle& dir, EntryInfo& info) {
    info = {};
    const Error fault = detail::TakeFault(FaultPoint::Lookup);
    if (fault != Error::None) return fault;
    struct stat status {};
    if (::fstat(dir->fd, &status) != 0) return ErrorFromErrno(errno);
    Describe(status, info);
    return Error::None;
}

Error InfoOfStream(std::FILE* stream, EntryInfo& info) {
    info = {};
    struct stat status {};
    if (::fstat(::fileno(stream), &status) != 0) return ErrorFromErrno(errno);
    Describe(status, info);
    return Error::None;
}

Error CopyAccess(std::FILE* from, std::FILE* to) {
    struct stat status {};
    if (::fstat(::fileno(from), &status) != 0) return ErrorFromErrno(errno);
    // The owner's write bit is the read-only attribute here, not access.
    const mode_t mode = (status.st_mode & 0777 & ~OthersWrite) | S_IWUSR;
    return ::fchmod(::fileno(to), mode) == 0 ? Error::None : ErrorFromErrno(errno);
}

Error ReadLinkAt(const DirHandle& dir, const std::string& name, std::string& target) {
    const Error fault = detail::TakeFault(FaultPoint::Lookup);
    if (fault != Error::None) return fault;
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlinkat(dir->fd, name.c_str(), buffer.data(), buffer.size());
        if (length < 0) return ErrorFromErrno(errno);
        if (static_cast<std::size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<std::size_t>(length));
            return Error::None;
        }
        buffer.resize(buffer.size() * 2);
    }
}

Error CreateDirectoryAt(const DirHandle& dir, const std::string& name, bool closed) {
    AtStep(Step::Create, name);
    const Error fault = detail::TakeFault(FaultPoint::CreateDir);
    if (fault != Error::None) return fault;
    if (::mkdirat(dir->fd, name.c_str(), 0755) != 0) return ErrorFromErrno(errno);
    if (closed) {
        // The umask may have taken bits away; set exactly what was made.
        const Descriptor fd(::openat(dir->fd, name.c_str(), DirFlags | O_NOFOLLOW));
        if (fd.Valid()) ::fchmod(fd.Get(), 0755);
    }
    return Error::None;
}

Error RemoveAt(const DirHandle& dir, const std::string& name, bool directory) {
    AtStep(Step::Remove, name);
    const Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    struct stat info {};
    if (::fstatat(dir->fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return ErrorFromErrno(errno);
    int flags = 0;
    if (S_ISDIR(info.st_mode)) {
        if (!directory) return Error::AccessDenied;
        flags = AT_REMOVEDIR;
    } else if (!S_ISLNK(info.st_mode) && IsReadOnly(info)) {
        return Error::AccessDenied;
    }
    return ::unlinkat(dir->fd, name.c_str(), flags) == 0 ? Error::None : ErrorFromErrno(errno);
}

Error SetNormalAttributesAt(const DirHandle& dir, const std::string& name) {
    const Descriptor fd(::openat(dir->fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return ErrorOfOpen(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return ErrorFromErrno(errno);
    if (S_ISREG(info.st_mode) && ::fchmod(fd.Get(), (info.st_mode & 07777) | S_IWUSR) != 0) {
        return ErrorFromErrno(errno);
    }
    return Error::None;
}

Stream OpenFileAt(const DirHandle& dir, const std::string& name, const OpenAtMode& mode,
                  Error& error) {
    AtStep(mode.createNew ? Step::Create : Step::Open, name);
    error = detail::TakeFault(FaultPoint::Open);
    if (error != Error::None) return nullptr;
    int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | AccessFlags(mode.access);
    if (mode.createNew) flags |= O_CREAT | O_EXCL;
    Descriptor fd(::openat(dir->fd, name.c_str(), flags, mode.privateFile ? 0600 : 0644));
    if (!fd.Valid()) {
        error = ErrorOfOpen(errno);
        return nullptr;
    }
    // Only files, and a read-only one not for writing, even as root; a FIFO
    // was opened without waiting and is refused here.
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        (mode.access != Access::Read && !mode.createNew && IsReadOnly(info)) ||
        ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK) != 0) {
        error = Error::AccessDenied;
        return nullptr;
    }
    const char* stdioMode = mode.access == Access::Read    ? "r"
                            : mode.access == Access::Write ? "w"
                                                           : "r+";
    return AdoptDescriptor(std::move(fd), stdioMode, error);
}

Error RenameAt(const DirHandle& dir, const std::string& from, const std::string& to) {
    const Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    struct stat info {};
    if (::fstatat(dir->fd, from.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return ErrorFromErrno(errno);
    if (S_ISLNK(info.st_mode)) return Error::IsLink;
    if (!S_ISREG(info.st_mode)) return Error::AccessDenied;
    if (::fstatat(dir->fd, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && IsReadOnly(info))) return Error::AccessDenied;
    } else if (errno != ENOENT) {
        return ErrorFromErrno(errno);
    }
    return ::renameat(dir->fd, from.c_str(), dir->fd, to.c_str()) == 0 ? Error::None
                                                                       : ErrorFromErrno(errno);
}

Error ListAt(const DirHandle& dir, std::vector<FindEntry>& entries) {
    AtStep(Step::List, "");
    // A handle of its own: reading moves its position, and closedir closes it.
    Descriptor fd(::openat(dir->fd, ".", DirFlags));
    if (!fd.Valid()) return ErrorFromErrno(errno);
    std::unique_ptr<DIR, DirCloser> directory(::fdopendir(fd.Get()));
    if (!directory) return ErrorFromErrno(errno);
    fd.Release();  // closedir closes it now
    while (dirent* item = ::readdir(directory.get())) {
        FindEntry entry;
        entry.name = item->d_name;
        if (entry.name == "." || entry.name == "..") continue;
        struct stat info {};
        if (::fstatat(dir->fd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        entry.isLink = S_ISLNK(info.st_mode);
        // A link is described by what it points to, as a Windows directory
        // link is; only the description follows it.
        if (entry.isLink && ::fstatat(dir->fd, item->d_name, &info, 0) != 0) info.st_mode = S_IFREG;
        entry.isDirectory = S_ISDIR(info.st_mode);
        entry.isSpecial = !entry.isDirectory && !S_ISREG(info.st_mode);
        entries.push_back(std::move(entry));
    }
    return Error::None;
}

Error AccessOf(const DirHandle& dir, AccessList& list) {
    list = {};
    struct stat info {};
    if (::fstat(dir->fd, &info) != 0) return ErrorFromErrno(errno);
    list = AccessOfMode(info.st_mode);
    return Error::None;
}

int RemoveOnInterruptAt(const DirHandle& dir, const std::string& name, std::FILE*, int exitCode) {
    return dir ? detail::Watch(dir->fd, name, exitCode) : -1;
}

Error PinDirectory(const DirHandle&, DirHandle& pin) {
    pin.reset();
    return Error::None;
}

Error AccessAt(const DirHandle& dir, const std::string& name, AccessList& list) {
    list = {};
    struct stat info {};
    if (::fstatat(dir->fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return ErrorFromErrno(errno);
    if (S_ISLNK(info.st_mode)) return Error::None;
    const int fd = ::openat(dir->fd, name.c_str(), DirFlags | O_NOFOLLOW);
    if (fd < 0) return ErrorOfOpen(errno);
    DirHandle entry(new DirState{fd});
    return AccessOf(entry, list);
}

Error OpenToClose(const DirHandle& dir, const std::string& name, ClosingHandle& entry, EntryInfo& info,
                  AccessList& access, DirHandle& directory) {
    info = {};
    access = {};
    directory.reset();
    entry.reset(new ClosingState);
    struct stat status {};
    if (::fstatat(dir->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return ErrorFromErrno(errno);
    // A link has no access of its own. Anything but a directory is opened
    // only if it has to change: opening a device or FIFO may act on it.
    if (!S_ISDIR(status.st_mode)) {
        Describe(status, info);
        if (!S_ISLNK(status.st_mode)) access = AccessOfMode(status.st_mode);
        entry->dirFd = dir->fd;
        entry->name = name;
        entry->judged = status;
        return Error::None;
    }
    entry->fd = ::openat(dir->fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (entry->fd < 0 || ::fstat(entry->fd, &status) != 0) return ErrorOfOpen(errno);
    Describe(status, info);
    access = AccessOfMode(status.st_mode);
    Error error = Error::None;
    if (S_ISDIR(status.st_mode)) directory = Adopt(::openat(entry->fd, ".", DirFlags), error);
    return error;
}

Error CloseHeld(const ClosingHandle& entry, const std::vector<bool>&, const ClosingHandle*) {
    if (entry->fd < 0 && entry->dirFd >= 0) {
        entry->fd = ::openat(entry->dirFd, entry->name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    struct stat info {};
    if (entry->fd < 0 || ::fstat(entry->fd, &info) != 0) return Error::AccessDenied;
    // Only what was judged: not another file put in its place since.
    if (entry->dirFd >= 0 && (info.st_dev != entry->judged.st_dev || info.st_ino != entry->judged.st_ino ||
                              info.st_nlink != entry->judged.st_nlink)) {
        return Error::AccessDenied;
    }
    if ((info.st_mode & OthersWrite) == 0) return Error::None;
    return ::fchmod(entry->fd, info.st_mode & 07777 & ~OthersWrite) == 0 ? Error::None : ErrorFromErrno(errno);
}

}  // namespace kd::platform
