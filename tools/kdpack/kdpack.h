// kdpack: makes, inspects and verifies package files.
#pragma once

#include <cstdio>
#include <string>

namespace kd {

// Exit codes of kdpack.
constexpr int KdpackOk = 0;
constexpr int KdpackFailed = 1;  // an operation failed, or verify found problems
constexpr int KdpackUsage = 2;   // the command line was not understood

// Runs kdpack with its arguments (argv[0] is the program). Results and help
// go to `out`, errors and progress to `err`; progress only when `err` is a
// terminal.
int RunKdpack(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// True when `name` matches `pattern`, with * and ? as wildcards and ASCII
// letter case ignored.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// Why a file or directory name cannot be carried faithfully by a script and
// created by the installer; empty when it can.
std::string NameProblem(const std::string& name);

// True when `stream` is a terminal (tools/kdpack/terminal_*.cpp).
bool IsTerminal(std::FILE* stream);

}  // namespace kd
