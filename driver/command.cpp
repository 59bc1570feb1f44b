// Command runner and service registration.
#include "driver/command.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace kd::driver {

namespace {

constexpr unsigned PollPauseMs = 10;
constexpr unsigned MaxDelayMs = 10000;

// The program part of a trimmed command line: the quoted text (a double quote
// is looked for first, whichever quote opened it), or the text before the
// first blank. An apostrophe inside a double-quoted path is part of a
// directory name (C:\Users\O'Neil) and stays.
std::string ProgramPart(const std::string& commandLine) {
    std::string program = commandLine;
    if (!program.empty() && (program[0] == '"' || program[0] == '\'')) {
        program.erase(0, 1);
        std::size_t close = program.find('"');
        if (close == std::string::npos) close = program.find('\'');
        if (close != std::string::npos) program.erase(close);
    } else if (const std::size_t blank = program.find(' '); blank != std::string::npos) {
        program.erase(blank);
    }
    return program;
}

}  // namespace

std::string CommandWorkingDirectory(const std::string& commandLine,
                                    const std::string& currentDirectory) {
    const std::string program = ProgramPart(commandLine);
    std::size_t separator = program.rfind('\\');
    if (separator == std::string::npos) separator = program.rfind('/');
    if (separator != std::string::npos) return program.substr(0, separator);
    std::string directory = currentDirectory;
    util::AddTrailingBackslash(directory);
    return directory;
}

int RunCommand(const char* commandLine, std::int32_t& exitCode, std::int32_t timeoutSeconds) {
    exitCode = 0;
    if (commandLine == nullptr) return CommandFailed;
    std::string line = commandLine;
    util::TrimString(line, false, true);
    if (line.empty()) return CommandFailed;

    platform::Process process;
    if (!process.Start(line, CommandWorkingDirectory(line, platform::CurrentDirectory()))) {
        return CommandFailed;
    }
    // Whole seconds, as a clock of seconds would count them.
    const auto start = static_cast<std::uint32_t>(platform::Now() / 1000);

    std::uint32_t code = 0;
    if (!process.ExitCode(code)) return CommandStarted;
    unsigned delay = 1;
    for (;;) {
        platform::SleepMs(PollPauseMs);
        // A program may end with the very code that means "still running"
        // (259): ask the process itself, or the wait would never end.
        bool ended = code != platform::StillActive;
        if (!ended && process.HasEnded()) {
            ended = true;
            process.ExitCode(code);
        }
        if (ended) {
            exitCode = static_cast<std::int32_t>(code);
            return CommandStarted;
        }
        if (timeoutSeconds == DoNotWait) return CommandStarted;  // it goes on running
        // Elapsed whole seconds as a 32-bit difference, as the limit is 32-bit too.
        const auto elapsed =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(platform::Now() / 1000) - start);
        if (timeoutSeconds != WaitForever && elapsed > timeoutSeconds) {
            process.Terminate(0xFFFFFFFFu);
            return CommandTimedOut;
        }
        platform::SleepMs(delay);
        const bool read = process.ExitCode(code);
        delay = std::min(delay + delay / 10 + 1, MaxDelayMs);
        // A code that cannot be read ends the wait as if the process had ended.
        if (!read) return CommandStarted;
    }
}

bool RegisterService(util::Console& console, const std::string& binDirectory, bool destinationChanged) {
    Print(console, "\nRegistering the Keldo service...");
    std::int32_t exitCode = 0;
    std::string program = binDirectory;
    util::AddTrailingBackslash(program);
    program += "kds.exe";
    // Quoted, so that a blank in the directory neither makes Windows try a
    // shorter program name nor cuts the working directory.
    const std::string quoted = "\"" + program + "\"";
    if (destinationChanged) RunCommand((quoted + " -r").c_str(), exitCode, WaitForever);
    // Only whether it could be run counts, not its exit code.
    return RunCommand((quoted + " -i").c_str(), exitCode, WaitForever) == CommandStarted;
}

}  // namespace kd::driver
