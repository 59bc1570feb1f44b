// Removal of temporary outputs on SIGINT, SIGTERM, SIGHUP (the terminal
// closed) and SIGQUIT. The handler may run
// between any two instructions of the program: it reads only slots that are
// marked whole, and calls only async-signal-safe functions.
#include "platform/posix/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "platform/posix/paths.h"

namespace kd::platform {

namespace {

// `directory` is -1 for a path, else the descriptor `path` is relative to.
struct Slot {
    volatile sig_atomic_t used = 0;
    int directory = -1;
    char path[2048] = {};
};

Slot slots[InterruptSlots];
volatile sig_atomic_t interruptExitCode = 1;
bool installed = false;

extern "C" void OnInterrupt(int) {
    for (Slot& slot : slots) {
        if (!slot.used) continue;
        if (slot.directory >= 0) {
            ::unlinkat(slot.directory, slot.path, 0);
        } else {
            ::unlink(slot.path);
        }
    }
    ::_exit(interruptExitCode);
}

}  // namespace

namespace detail {

int Watch(int directory, const std::string& path, int exitCode) {
    if (path.empty() || path.size() >= sizeof slots[0].path) return -1;
    if (!installed) {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(signal, &action, nullptr);
        installed = true;
    }
    interruptExitCode = exitCode;
    for (int i = 0; i < InterruptSlots; ++i) {
        if (slots[i].used) continue;
        slots[i].directory = directory;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].used = 1;  // only now may the handler read it
        return i;
    }
    return -1;
}

}  // namespace detail

int RemoveOnInterrupt(const char* path, int exitCode) {
    return detail::Watch(-1, NativePath(path), exitCode);
}

void ForgetOnInterrupt(int slot) {
    if (slot >= 0 && slot < InterruptSlots) slots[slot].used = 0;
}

}  // namespace kd::platform
