// Processes, the mutex, this program and its guards, and the removal of
// temporary files when the user interrupts it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include "platform/directory_handles.h"
#include "platform/error.h"

namespace kd::platform {

// What ProtectProcess managed to turn on.
struct ProcessProtection {
    bool systemLibrariesOnly = false;  // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
    bool redirectionTrust = false;     // SetProcessMitigationPolicy(ProcessRedirectionTrustPolicy)
};
// Limits later library loads to the system directory and, where the system
// offers it, refuses junctions that non-administrators made. Both calls are
// looked up at run time; a missing or failing one is reported, never fatal.
// POSIX: nothing to do, nothing reported.
ProcessProtection ProtectProcess();

// ---- Processes -------------------------------------------------------------

// A started process; its handles are closed when it goes out of scope.
class Process {
public:

    // Win32: CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE,
    // NORMAL_PRIORITY_CLASS, nullptr, workingDirectory, STARTUPINFOA with
    // STARTF_USESHOWWINDOW and SW_HIDE, ...). POSIX: the command line is split
    // into arguments as the Windows C run-time does and started with posix_spawn.
    // False when the process cannot be created.
    bool Start(const std::string& commandLine, const std::string& workingDirectory);

    // Win32: GetExitCodeProcess. False when the code cannot be read; while the
    // process runs the code is StillActive.
    bool ExitCode(std::uint32_t& code);

    // True once the process has ended (Win32: WaitForSingleObject with no
    // wait). Tells a process that ended with the code StillActive from one
    // that still runs.
    bool HasEnded();

    // Win32: TerminateProcess with the given exit code.
    void Terminate(std::uint32_t code);

private:
    StatePointer<ProcessState> state;
};

constexpr std::uint32_t StillActive = 259;

// ---- Mutex -----------------------------------------------------------------

// An unnamed mutex, released and closed when it goes out of scope (Win32:
// ReleaseMutex then CloseHandle; a mutex not owned is ignored).
using Mutex = StatePointer<MutexState>;

// Win32: CreateMutexA(nullptr, FALSE, nullptr); null on failure.
Mutex CreateUnnamedMutex();

// ---- This program ----------------------------------------------------------

// The path the program was started as (argv[0] form); used by tests to run
// their own binary as a child process.
std::string ProgramPath();

// True when this process runs with an elevated administrator's token. Win32:
// GetTokenInformation(TokenElevation) on the process token; a query that
// fails counts as not elevated. POSIX: always, as the stand-in stands for an
// elevated run. A stand-in answer set by SetTokenAnswer comes first.
bool RunsElevated();

// True when the Windows build runs under Wine (tests use it to mark the few
// cases where Wine as root differs from Windows; the handle layer works around them).
bool IsWine();

// ---- Interrupts ----------------------------------------------------------------

// Files to remove when the user interrupts the process (Ctrl-C; POSIX:
// SIGINT, SIGTERM, SIGHUP, SIGQUIT; Win32: a console control handler for Ctrl-C, Ctrl-Break and a
// closed console); the process then ends with `exitCode`. The path is copied
// into fixed storage so that the removal allocates nothing (POSIX: the signal
// handler calls only unlink and _exit). Returns the slot that holds it, or -1
// when all InterruptSlots are taken or the path is 2048 bytes or longer.
constexpr int InterruptSlots = 4;
int RemoveOnInterrupt(const char* path, int exitCode);
// The same for the file `name` of `dir`, open as `file`, removed through a
// handle: POSIX unlinkat on the directory's descriptor; Win32 the file's own
// handle (made with DELETE access by OpenFileAt for a private new file)
// marked for deletion, as a name would fail for a file shared with nobody.
// `dir` and `file` must outlive the slot.
int RemoveOnInterruptAt(const DirHandle& dir, const std::string& name, std::FILE* file, int exitCode);
// Frees a slot of RemoveOnInterrupt (-1 is ignored).
void ForgetOnInterrupt(int slot);

}  // namespace kd::platform
