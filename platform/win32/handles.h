// Shared by the Win32 translation units: error mapping and the one RAII owner
// of every kind of system handle.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace kd::platform {

Error ErrorFromWin32(DWORD code);

// Owns one system handle. `Traits` names the handle's type, the value that
// means "none" (what the opening call returns on failure) and how it is
// closed; the handle is closed when the owner goes out of scope or is reset.
template <typename Traits>
class ScopedHandle {
public:
    using Type = typename Traits::Type;

    ScopedHandle() = default;
    explicit ScopedHandle(Type handle) : handle(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool Valid() const { return handle != Traits::Invalid(); }
    Type Get() const { return handle; }
    // Gives the handle up without closing it.
    Type Release() {
        Type result = handle;
        handle = Traits::Invalid();
        return result;
    }
    void Reset(Type next = Traits::Invalid()) {
        if (Valid()) Traits::Close(handle);
        handle = next;
    }
    // Closes what is held and gives the address a creating call fills in.
    Type* Out() {
        Reset();
        return &handle;
    }

private:
    Type handle = Traits::Invalid();
};

// Memory the security functions hand out with LocalAlloc.
struct LocalMemoryTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type memory) { ::LocalFree(memory); }
};

// CreateFileA: INVALID_HANDLE_VALUE on failure.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

// FindFirstFileA: INVALID_HANDLE_VALUE on failure; closed with FindClose.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { ::FindClose(handle); }
};

// Process and thread handles (CreateProcessA): null when there is none.
struct ObjectHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { ::CloseHandle(handle); }
};

// CreateMutexA: null on failure. Closing releases the mutex first; ReleaseMutex
// fails unless this thread owns it, which is expected and ignored.
struct MutexHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) {
        ::ReleaseMutex(handle);
        ::CloseHandle(handle);
    }
};

// RegCreateKeyExW / RegOpenKeyExW: null when not opened; closed with RegCloseKey.
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { ::RegCloseKey(key); }
};

using ScopedFileHandle = ScopedHandle<FileHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedProcessHandle = ScopedHandle<ObjectHandleTraits>;
using ScopedThreadHandle = ScopedHandle<ObjectHandleTraits>;
using ScopedMutexHandle = ScopedHandle<MutexHandleTraits>;
using ScopedRegistryKey = ScopedHandle<RegistryKeyTraits>;

// The generic rights of `access`, with WRITE_DAC for a file that is given its
// final access later.
inline ACCESS_MASK DesiredAccess(Access access, bool writeDac) {
    return (access == Access::Read    ? GENERIC_READ
            : access == Access::Write ? GENERIC_WRITE
                                      : GENERIC_READ | GENERIC_WRITE) |
           (writeDac ? WRITE_DAC : 0);
}

// Fills the identity fields of `info` for the open file: the FILE_ID_INFO
// where the file system gives it, else `file`'s serial and index.
void Identify(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& file, EntryInfo& info);

// Wraps an open file handle in a stream: a C runtime descriptor of `flags`
// (_O_BINARY, _O_RDONLY, ...), then a stream of `stdioMode`. Null on
// failure, with `handle` closed and `error` set to Other; else error None.
Stream AdoptHandle(ScopedFileHandle& handle, int flags, const char* stdioMode, Error& error);

}  // namespace kd::platform
