// Windows processes: started hidden, polled for their exit code, terminated.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

struct ProcessState {
    ScopedProcessHandle process;
    ScopedThreadHandle thread;
};

void StateDeleter::operator()(ProcessState* state) const { delete state; }

bool Process::Start(const std::string& commandLine, const std::string& workingDirectory) {
    state.reset();
    // CreateProcessA may write into the command line, so it gets its own copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION information{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                          nullptr, workingDirectory.empty() ? nullptr : workingDirectory.c_str(),
                          &startup, &information)) {
        return false;
    }
    state.reset(new ProcessState{ScopedProcessHandle(information.hProcess),
                                 ScopedThreadHandle(information.hThread)});
    return true;
}

bool Process::ExitCode(std::uint32_t& code) {
    if (!state) return false;
    DWORD value = 0;
    if (!::GetExitCodeProcess(state->process.Get(), &value)) return false;
    code = value;
    return true;
}

bool Process::HasEnded() {
    return state && ::WaitForSingleObject(state->process.Get(), 0) == WAIT_OBJECT_0;
}

void Process::Terminate(std::uint32_t code) {
    if (state) ::TerminateProcess(state->process.Get(), code);
}

}  // namespace kd::platform
