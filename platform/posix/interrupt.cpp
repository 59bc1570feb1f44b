// Removal of temporary outputs on SIGINT, SIGTERM, SIGHUP (the terminal
// closed) and SIGQUIT. The handler may run
// between any two instructions of the program: it reads only slots that are
// marked whole, and calls only async-signal-safe functions.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "platform/posix/paths.h"

namespace kd::platform {

namespace {

struct Slot {
    volatile sig_atomic_t used = 0;
    char path[2048] = {};
};

Slot slots[InterruptSlots];
volatile sig_atomic_t interruptExitCode = 1;
bool installed = false;

extern "C" void OnInterrupt(int) {
    for (Slot& slot : slots) {
        if (slot.used) ::unlink(slot.path);
    }
    ::_exit(interruptExitCode);
}

}  // namespace

int RemoveOnInterrupt(const char* path, int exitCode) {
    const std::string native = NativePath(path);
    if (native.empty() || native.size() >= sizeof slots[0].path) return -1;
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
        std::memcpy(slots[i].path, native.c_str(), native.size() + 1);
        slots[i].used = 1;  // only now may the handler read it
        return i;
    }
    return -1;
}

void ForgetOnInterrupt(int slot) {
    if (slot >= 0 && slot < InterruptSlots) slots[slot].used = 0;
}

}  // namespace kd::platform
