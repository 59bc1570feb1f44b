// How a run of the installer ends: its exit codes, and the closing lines
// after which every ending but a quit waits for Enter.
#pragma once

#include <initializer_list>
#include <string>

#include "util/console.h"

namespace kd::driver {

// Exit codes of a run.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = -1;  // every failure and a quit in the dialogue

// Prints each line, then "\n\nPress enter to continue", waits for one line
// (the end of input ends the wait too) and returns exitCode.
int EndRun(util::Console& console, std::initializer_list<std::string> lines, int exitCode);

}  // namespace kd::driver
