// kdpack: makes, inspects and verifies package files.
#pragma once

#include <cstdio>

namespace kd::kdpack {

// Exit codes of kdpack.
constexpr int KdpackOk = 0;
constexpr int KdpackFailed = 1;  // an operation failed, or verify found problems
constexpr int KdpackUsage = 2;   // the command line was not understood
constexpr int KdpackInterrupted = 130;  // stopped by Ctrl-C or a signal; temporary files removed

// Runs kdpack with its arguments (argv[0] is the program). Results and help
// go to `out`, errors and progress to `err`; progress only when `err` is a
// terminal.
int RunKdpack(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace kd::kdpack
