// Shared by the Win32 translation units: error mapping and RAII handle types.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace kd::platform {

Error ErrorFromWin32(DWORD code);

// Owns a kernel HANDLE (closed with CloseHandle); INVALID_HANDLE_VALUE and
// null both mean none.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool Valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }
    HANDLE Release() {
        HANDLE result = handle;
        handle = nullptr;
        return result;
    }
    void Reset(HANDLE next = nullptr) {
        if (Valid()) ::CloseHandle(handle);
        handle = next;
    }

private:
    HANDLE handle = nullptr;
};

}  // namespace kd::platform
