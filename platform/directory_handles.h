// Directory handles: what is done relative to a directory held open happens
// in that very directory, whatever its name becomes meanwhile.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "platform/accounts.h"
#include "platform/error.h"
#include "platform/files.h"

namespace kd::platform {

// ---- Directory handles -------------------------------------------------------

// A directory held open: what is done relative to it happens in that very
// directory, whatever its name becomes meanwhile. Closed when it goes out of
// scope. Names given to the *At functions are one level, in the ANSI code
// page; Win32 gives them the meaning CreateFileA would (letter case ignored,
// trailing dots and blanks dropped).
using DirHandle = StatePointer<DirState>;

// Opens the directory `path` names, links followed: the start of a walk (a
// root, a drive, "." for the working directory). Null with `error` set.
DirHandle OpenDirectory(const char* path, Error& error);

// Holds the directory `dir` so that nobody can delete or rename it while
// `pin` lives. Win32: the directory opened again through its handle for
// listing (an open without data access takes no part in sharing), without
// FILE_SHARE_DELETE; a handle someone opened earlier with DELETE access makes
// it fail with SharingViolation, and no such handle can be opened while it is
// held (the installer's own removal of it too). POSIX: nothing can prevent a
// rename, so nothing is held (None, `pin` null).
Error PinDirectory(const DirHandle& dir, DirHandle& pin);

// Opens the level `name` of `dir` as a directory without following a link:
// a link gives IsLink, a file NotFound. POSIX: openat with O_NOFOLLOW |
// O_DIRECTORY. Win32: NtCreateFile relative to `dir` with
// FILE_OPEN_REPARSE_POINT and the handle's FileAttributeTagInfo; as Wine
// opens a link's target that way, the name is also looked at by its path.
DirHandle OpenDirectoryAt(const DirHandle& dir, const std::string& name, Error& error);

enum class EntryType { Missing, Directory, File, Link, Special };
struct EntryInfo {
    EntryType type = EntryType::Missing;
    Account owner = Account::Other;
    bool readOnly = false;
    unsigned nameCount = 0;     // hard links
    // Identity of the file: its volume and its identifier there. Win32: the
    // volume serial and the 128-bit FILE_ID_INFO where the file system gives
    // one (ReFS uses all of it), else the 32-bit serial and 64-bit index with
    // indexHigh 0; POSIX: device and inode. Compare with SameIdentity.
    std::uint64_t volume = 0, index = 0, indexHigh = 0;
};
// True when `info` holds an identity (a missing entry has none).
inline bool HasIdentity(const EntryInfo& info) { return info.index != 0 || info.indexHigh != 0; }
// True when both describe the same file; an entry without identity is no other.
inline bool SameIdentity(const EntryInfo& a, const EntryInfo& b) {
    return HasIdentity(a) && a.volume == b.volume && a.index == b.index && a.indexHigh == b.indexHigh;
}
// What `name` is inside `dir`, a link not followed (POSIX: fstatat with
// AT_SYMLINK_NOFOLLOW; Win32: the name opened with FILE_OPEN_REPARSE_POINT and
// asked through the handle). Missing with None when absent; any other
// failure is returned.
Error InfoAt(const DirHandle& dir, const std::string& name, EntryInfo& info);
// The same for the directory the handle holds (fstat; the handle itself).
Error InfoOf(const DirHandle& dir, EntryInfo& info);
// The same for an open stream's file.
Error InfoOfStream(std::FILE* stream, EntryInfo& info);
// Gives the file of `to` (made by this process, private or owner-only) the
// access the file of `from` grants: its permission bits less others' write
// (POSIX; the read-only attribute is not copied), its DACL (Windows).
Error CopyAccess(std::FILE* from, std::FILE* to);

// The target of the link `name` in `dir`, as a path (POSIX: readlinkat;
// Win32: FSCTL_GET_REPARSE_POINT, a junction's or symbolic link's
// substitute name without its "\??\" prefix, a volume's as "\\?\Volume{...}\").
Error ReadLinkAt(const DirHandle& dir, const std::string& name, std::string& target);

// Creates the directory `name` in `dir`. `closed`: non-administrators cannot
// write it from the moment it exists (Win32: the descriptor
// D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU), nothing
// inherited from the parent); otherwise it takes its descriptor from `dir`
// (POSIX: mode 0755 either way, whatever the umask).
Error CreateDirectoryAt(const DirHandle& dir, const std::string& name, bool closed);

// Removes `name` from `dir` as a name: a file, an empty directory (`directory`
// true) or a link itself. A read-only file is refused with AccessDenied.
// POSIX: unlinkat. Win32: opened with FILE_OPEN_REPARSE_POINT and deleted
// through NtSetInformationFile(FileDispositionInformationEx) with POSIX
// semantics, so the name goes while others hold the file open; where that is
// refused (older systems, FAT, Wine 8), SetFileInformationByHandle
// (FileDispositionInfo).
Error RemoveAt(const DirHandle& dir, const std::string& name, bool directory);

// Clears the read-only attribute of the file `name` in `dir`, through a
// handle opened without following a link.
Error SetNormalAttributesAt(const DirHandle& dir, const std::string& name);

// How a file is opened inside a directory: never through a link at the
// name (IsLink), and never a directory or, POSIX, a FIFO or device.
// `createNew` makes it exclusively; `privateFile` then closes it to everyone
// but the running account (POSIX mode 0600; Win32 an owner-only descriptor
// and no write or delete sharing); otherwise a new file takes its descriptor
// from `dir` (POSIX 0644). Every open shares reading.
struct OpenAtMode {
    Access access = Access::Read;
    bool createNew = false;
    bool privateFile = false;
};
Stream OpenFileAt(const DirHandle& dir, const std::string& name, const OpenAtMode& mode,
                  Error& error);

// The entries of `dir` but "." and "..", in the file system's order, a link
// reported as a link (POSIX: fdopendir on a new handle of the directory;
// Win32: GetFileInformationByHandleEx with FileIdBothDirectoryInfo).
Error ListAt(const DirHandle& dir, std::vector<FindEntry>& entries);

// Who may change a directory, as the entries of its access list; the rules
// that judge them are portable. POSIX: the group and other write bits stand
// for inherited entries granting Other everything, and for the delete-child
// right unless the sticky bit is set.
Error AccessOf(const DirHandle& dir, AccessList& list);
// The access list of the entry `name` of `dir` itself, a link not followed.
// POSIX: empty (a link's own bits mean nothing: its directory decides who
// may remove it). Win32: opened with FILE_OPEN_REPARSE_POINT for
// READ_CONTROL, then GetSecurityInfo.
Error AccessAt(const DirHandle& dir, const std::string& name, AccessList& list);

// ---- Replacing a file inside a directory -------------------------------------

// Gives the file `from` of `dir` the name `to` in `dir` in one step: what
// stood at `to` stays whole until then, and the new file is whole after.
// Neither name is followed as a link: a link at `from` is refused (IsLink),
// one at `to` is replaced itself. A directory or a read-only file at `to` is
// refused with AccessDenied; Windows without POSIX semantics also refuses a
// `to` that is still open (AccessDenied, Wine too). Fails at
// FaultPoint::Delete. POSIX: renameat. Win32: `from` opened with
// FILE_OPEN_REPARSE_POINT for DELETE, then NtSetInformationFile with `dir` as
// the root directory: FileRenameInformationEx with POSIX semantics and
// replace-if-exists, or where that is refused (older systems, FAT, Wine 8)
// FileRenameInformation with ReplaceIfExists.
Error RenameAt(const DirHandle& dir, const std::string& from, const std::string& to);

}  // namespace kd::platform
