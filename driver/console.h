// The installer's console: answers are read one line at a time, messages are
// written unchanged, and every ending but a quit waits for Enter.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

namespace kd {

// Exit codes of a run.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = -1;  // every failure and a quit in the dialogue

struct Console {
    std::FILE* input = stdin;
    std::FILE* output = stdout;
};

// One console read takes at most this many bytes less one; the bytes of a
// longer line are left for the next read.
constexpr int ConsoleLineSize = 2048;

// Reads one line (at most ConsoleLineSize - 1 bytes, line feed included) and
// removes one final line feed; a carriage return stays. False at the end of
// input or on a read error, with `line` empty.
bool ReadConsoleLine(Console& console, std::string& line);

// Writes the text exactly as given (it is never used as a format) and flushes,
// so that the output keeps its order with that of other writers.
void Print(Console& console, const std::string& text);

// Prints each line, then "\n\nPress enter to continue", waits for one line
// (the end of input ends the wait too) and returns exitCode.
int EndRun(Console& console, std::initializer_list<std::string> lines, int exitCode);

}  // namespace kd
