// What the installer trusts on its way to a target: a link is followed only
// when an administrator, the system or the installing account owns it, and a
// destination only when such an owner owns it or the installer makes it.
#pragma once

#include <cstddef>
#include <string>

namespace kd {

// True when `path` names a link (junction, mount point, symbolic link) whose
// owner is not trusted.
bool IsUntrustedLink(const std::string& path);

// True unless one of the levels of `path` that exist is an untrusted link.
// The levels are the first `from` bytes (the base; none when 0), then every
// longer prefix that ends before a "\" or "/", then the whole path. The walk
// stops at the first level that does not exist: nothing below it can.
bool PassesOnlyTrustedLinks(const std::string& path, std::size_t from);

// True when `path` does not exist, or exists (a link followed or not) with a
// trusted owner. A directory that another user made stays theirs to change,
// whatever is put into it.
bool IsUsableDestination(const std::string& path);

// CreateDirectoryPath for a destination: the directory is made closed to
// non-administrators (POSIX: mode 0755). True if the path exists afterwards.
bool CreateProtectedDirectory(const char* path);

}  // namespace kd
