// Runs a command line as a hidden process and waits for it; registers the
// installed server as a service through its own executable.
#pragma once

#include <cstdint>
#include <string>

#include "util/console.h"

namespace kd::driver {

// Results of RunCommand; the numbers are fixed.
constexpr int CommandStarted = 0;    // started (and waited for as asked)
constexpr int CommandFailed = -1;    // null or blank command line, or the process did not start
constexpr int CommandTimedOut = -2;  // the limit ran out and the process was terminated

// Time limits of RunCommand besides a positive number of whole seconds.
constexpr std::int32_t WaitForever = -1;
constexpr std::int32_t DoNotWait = 0;

// The working directory RunCommand gives a trimmed command line: the text
// before the last "\" (else "/") of its program part, or currentDirectory
// with a trailing "\" when there is none. The program part is the text in
// quotes (" or ', a closing " looked for first, every quote then dropped) or
// the text before the first blank.
std::string CommandWorkingDirectory(const std::string& commandLine,
                                    const std::string& currentDirectory);

// Starts `commandLine` (trimmed, blanks collapsed) as a hidden process whose
// working directory is the directory of the program it names, or the current
// directory when the program part holds no "\" or "/". The program may be
// quoted with " or '. Polls its exit code with a growing pause (1 ms upwards,
// by a tenth plus 1 ms, at most 10 s, plus 10 ms each poll). `exitCode` is 0
// unless the process was seen to end, then its exit code. A process still
// running after more than `timeoutSeconds` whole seconds is terminated with
// exit code -1. Both process handles are closed on every path.
int RunCommand(const char* commandLine, std::int32_t& exitCode, std::int32_t timeoutSeconds);

// Prints "\nRegistering the Keldo service...", runs "kds.exe -r" from
// binDirectory when the destination changed (its outcome is ignored), then
// "kds.exe -i"; true when the latter could be run, whatever its exit code.
// The program path is quoted, so blanks in binDirectory are safe.
bool RegisterService(util::Console& console, const std::string& binDirectory, bool destinationChanged);

}  // namespace kd::driver
