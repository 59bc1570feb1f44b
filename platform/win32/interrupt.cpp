// Removal of temporary outputs on Ctrl-C, Ctrl-Break or a closed console. The
// handler runs on a thread of its own; it reads only slots marked whole. The
// outputs are open with delete sharing, so deleting them succeeds and the
// names go once the process ends.
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kd::platform {

namespace {

// `file` is null for a path, else the open file to mark for deletion.
struct Slot {
    volatile LONG used = 0;
    HANDLE file = nullptr;
    char path[2048] = {};
};

Slot slots[InterruptSlots];
volatile LONG interruptExitCode = 1;
bool installed = false;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    for (Slot& slot : slots) {
        if (!slot.used) continue;
        if (slot.file) {
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            ::SetFileInformationByHandle(slot.file, FileDispositionInfo, &disposition, sizeof disposition);
        } else {
            ::DeleteFileA(slot.path);
        }
    }
    ::ExitProcess(static_cast<UINT>(interruptExitCode));
    return TRUE;
}

int Watch(HANDLE file, const char* path, int exitCode) {
    if (!installed) installed = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE;
    interruptExitCode = exitCode;
    for (int i = 0; i < InterruptSlots; ++i) {
        if (slots[i].used) continue;
        slots[i].file = file;
        std::memcpy(slots[i].path, path, std::strlen(path) + 1);
        ::InterlockedExchange(&slots[i].used, 1);  // only now may the handler read it
        return i;
    }
    return -1;
}

}  // namespace

int RemoveOnInterrupt(const char* path, int exitCode) {
    if (!path || !*path || std::strlen(path) >= sizeof slots[0].path) return -1;
    return Watch(nullptr, path, exitCode);
}

int RemoveOnInterruptAt(const DirHandle&, const std::string&, std::FILE* file, int exitCode) {
    const intptr_t handle = file ? ::_get_osfhandle(::_fileno(file)) : -1;
    if (handle == -1) return -1;
    return Watch(reinterpret_cast<HANDLE>(handle), "", exitCode);
}

void ForgetOnInterrupt(int slot) {
    if (slot >= 0 && slot < InterruptSlots) ::InterlockedExchange(&slots[slot].used, 0);
}

}  // namespace kd::platform
