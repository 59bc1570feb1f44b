// POSIX stand-in for Windows process creation: the command line is split into
// arguments as the Windows C run-time splits it, the program is started with
// posix_spawn in the given working directory, and it is polled and terminated
// the way the installer polls and terminates a Windows process.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/command_line.h"
#include "platform/posix/paths.h"

extern char** environ;

namespace kd::platform {

struct ProcessState {
    pid_t pid = -1;
    bool reaped = false;
    std::uint32_t exitCode = 0;
};

void StateDeleter::operator()(ProcessState* state) const {
    if (!state->reaped) {
        // Reap it if it has ended; one still running goes on, like a Windows
        // process whose handles are closed.
        int status = 0;
        ::waitpid(state->pid, &status, WNOHANG);
    }
    delete state;
}

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string WithExe(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.find('.') == std::string::npos ? path + ".exe" : path;
}

// The program as Windows would find it: a path is taken relative to the
// caller's directory (not the child's), a bare name is looked up in the
// caller's directory and then in PATH; ".exe" is tried when the name has no
// extension.
std::string ResolveProgram(const std::string& name) {
    if (name.empty()) return {};
    std::vector<std::string> candidates;
    std::string cwd = CurrentDirectory();
    if (name.find('/') != std::string::npos) {
        candidates.push_back(name[0] == '/' ? name : cwd + "/" + name);
    } else {
        candidates.push_back(cwd + "/" + name);
        const char* path = std::getenv("PATH");
        std::string list = path ? path : "";
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) candidates.push_back(list.substr(start, end - start) + "/" + name);
            start = end + 1;
        }
    }
    for (const std::string& candidate : candidates) {
        if (IsRegularFile(candidate)) return candidate;
        if (IsRegularFile(WithExe(candidate))) return WithExe(candidate);
    }
    return {};
}

int Spawn(pid_t& pid, const std::string& program, const std::vector<std::string>& arguments,
          const std::string& workingDirectory) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The child inherits no handles of the installer.
    for (int fd = 0; fd < 3; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    if (!workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int result = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

}  // namespace

bool Process::Start(const std::string& commandLine, const std::string& workingDirectory) {
    state.reset();
    const std::vector<std::string> arguments = SplitCommandLine(commandLine);
    const std::string program = ResolveProgram(NativePath(arguments[0]));
    if (program.empty()) return false;
    std::string directory = NativePath(workingDirectory);

    pid_t pid = -1;
    int result = Spawn(pid, program, arguments, directory);
    if (result == EACCES) {
        // Windows runs any image it can read; the files a package writes carry
        // no execute bit here, so grant it to the owner and try once more.
        struct stat info {};
        if (::stat(program.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            (info.st_mode & S_IXUSR) == 0 && ::chmod(program.c_str(), info.st_mode | S_IXUSR) == 0) {
            result = Spawn(pid, program, arguments, directory);
        }
    }
    if (result != 0) return false;
    state.reset(new ProcessState);
    state->pid = pid;
    return true;
}

bool Process::ExitCode(std::uint32_t& code) {
    ProcessState* process = state.get();
    if (process == nullptr) return false;
    if (!process->reaped) {
        int status = 0;
        const pid_t result = ::waitpid(process->pid, &status, WNOHANG);
        if (result < 0) return false;
        if (result == 0) {
            code = StillActive;
            return true;
        }
        process->reaped = true;
        process->exitCode = WIFEXITED(status) ? static_cast<std::uint32_t>(WEXITSTATUS(status))
                                              : 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    code = process->exitCode;
    return true;
}

bool Process::HasEnded() {
    std::uint32_t code = 0;
    return ExitCode(code) && state->reaped;
}

void Process::Terminate(std::uint32_t code) {
    ProcessState* process = state.get();
    if (process == nullptr || process->reaped) return;
    std::uint32_t current = 0;
    // A process that has already ended keeps its own exit code, as on Windows.
    if (ExitCode(current) && current != StillActive) return;
    ::kill(process->pid, SIGKILL);
    int status = 0;
    while (::waitpid(process->pid, &status, 0) < 0 && errno == EINTR) {
    }
    process->reaped = true;
    process->exitCode = code;
}

}  // namespace kd::platform
