// Win32 file calls: shared opens through CreateFileA and the C run-time's
// descriptors, deletion, attributes and 64-bit positioning.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <string>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/stdio_mode.h"
#include "platform/win32/handles.h"
#include "platform/win32/security.h"

namespace kd::platform {

Error ErrorFromWin32(DWORD code) {
    switch (code) {
    case ERROR_SUCCESS: return Error::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES: return Error::NotFound;
    case ERROR_ACCESS_DENIED: return Error::AccessDenied;
    case ERROR_TOO_MANY_OPEN_FILES: return Error::TooManyOpenFiles;
    case ERROR_NOT_ENOUGH_MEMORY: return Error::NotEnoughMemory;
    case ERROR_OUTOFMEMORY: return Error::OutOfMemory;
    case ERROR_SHARING_VIOLATION: return Error::SharingViolation;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return Error::AlreadyExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Error::DiskFull;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return Error::InvalidName;
    default: return Error::Other;
    }
}

Stream OpenShared(const char* path, const OpenMode& mode, Error& error) {
    error = detail::TakeFault(FaultPoint::Open);
    if (error != Error::None) return nullptr;

    // An owner-only file may be given its final access later.
    const DWORD desired = DesiredAccess(mode.access, mode.ownerOnly);
    DWORD creation = mode.disposition == Disposition::OpenExisting   ? OPEN_EXISTING
                     : mode.disposition == Disposition::CreateAlways ? CREATE_ALWAYS
                     : mode.disposition == Disposition::CreateNew    ? CREATE_NEW
                                                                     : OPEN_ALWAYS;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.bInheritHandle = FALSE;
    // The running account alone, nothing inherited from the folder (Wine
    // takes no "owner rights" entry for the owner: the file could not be
    // deleted).
    ScopedHandle<LocalMemoryTraits> descriptor;
    if (mode.ownerOnly) {
        if (!OwnerOnlyDescriptor(descriptor)) {
            error = ErrorFromWin32(::GetLastError());
            return nullptr;
        }
        security.lpSecurityDescriptor = descriptor.Get();
    }
    ScopedFileHandle handle(::CreateFileA(path, desired,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          &security, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) {
        error = ErrorFromWin32(::GetLastError());
        return nullptr;
    }

    int flags = mode.text ? _O_TEXT : _O_BINARY;
    if (mode.append) flags |= _O_APPEND;
    if (mode.access == Access::Read) flags |= _O_RDONLY;
    // Translation is the descriptor's; the letter only repeats it.
    const std::string stdioMode = detail::StdioMode(mode) + (mode.text ? "t" : "b");
    return AdoptHandle(handle, flags, stdioMode.c_str(), error);
}

Stream AdoptHandle(ScopedFileHandle& handle, int flags, const char* stdioMode, Error& error) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), flags);
    if (fd == -1) {
        error = Error::Other;
        return nullptr;  // the handle is still ours and is closed with it
    }
    handle.Release();  // the descriptor owns it now
    Stream stream(::_fdopen(fd, stdioMode));
    if (!stream) {
        ::_close(fd);
        error = Error::Other;
        return nullptr;
    }
    error = Error::None;
    return stream;
}

Error EraseFile(const char* path) {
    Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    return ::DeleteFileA(path) ? Error::None : ErrorFromWin32(::GetLastError());
}

Error RemoveName(const char* path) {
    Error fault = detail::TakeFault(FaultPoint::Delete);
    if (fault != Error::None) return fault;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return ErrorFromWin32(::GetLastError());
    // A junction or a directory symbolic link is a directory entry: RemoveDirectoryA
    // takes the link away and leaves its target alone.
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryA(path)
                                                                 : ::DeleteFileA(path);
    return removed ? Error::None : ErrorFromWin32(::GetLastError());
}

bool SameFile(const char* first, const char* second) {
    auto identify = [](const char* path, EntryInfo& info) {
        constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        ScopedFileHandle handle(::CreateFileA(path, 0, share, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION file{};
        if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &file)) return false;
        Identify(handle.Get(), file, info);
        return true;
    };
    EntryInfo a, b;
    return identify(first, a) && identify(second, b) && SameIdentity(a, b);
}

Error SetReadOnly(const char* path) {
    return ::SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY) ? Error::None
                                                               : ErrorFromWin32(::GetLastError());
}

std::size_t WriteBytes(std::FILE* stream, const void* data, std::size_t size) {
    if (size == 0) return 0;
    if (detail::TakeFault(FaultPoint::Write) != Error::None) return 0;
    return std::fwrite(data, 1, size, stream);
}

Error RenameReplacing(const char* from, const char* to) {
    const DWORD attributes = ::GetFileAttributesA(to);
    // Windows itself refuses a read-only file; Wine as root replaces it.
    constexpr DWORD kept = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE |
                           FILE_ATTRIBUTE_READONLY;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kept) != 0) return Error::AccessDenied;
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? Error::None
                                                              : ErrorFromWin32(::GetLastError());
}

bool IsTerminal(std::FILE* stream) { return stream && ::_isatty(::_fileno(stream)) != 0; }

std::int64_t Tell(std::FILE* stream) { return ::_ftelli64(stream); }

int Seek(std::FILE* stream, std::int64_t offset, int origin) {
    return ::_fseeki64(stream, offset, origin) == 0 ? 0 : -1;
}

}  // namespace kd::platform
