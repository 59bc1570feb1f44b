// POSIX stand-in for links, owners and protection: a symbolic link is the
// only link, root and the effective user are the trusted owners, and the
// permission bits stand in for the security descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/posix/paths.h"

namespace kd::platform {

NameKind KindOfName(const char* path) {
    // A name that cannot be looked at may be anything: it counts as a link.
    if (detail::TakeFault(FaultPoint::Lookup) != Error::None) return NameKind::Link;
    const std::string native = NativePath(path);
    struct stat info {};
    if (::lstat(native.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? NameKind::Missing : NameKind::Link;
    }
    return S_ISLNK(info.st_mode) ? NameKind::Link : NameKind::Plain;
}

bool OwnerTrusted(const char* path) {
    if (detail::TakeFault(FaultPoint::Lookup) != Error::None) return false;
    struct stat info {};
    if (::lstat(NativePath(path).c_str(), &info) != 0) return false;
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

ProcessProtection ProtectProcess() { return {}; }

}  // namespace kd::platform
