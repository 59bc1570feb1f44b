// The console the installer talks through: answers are read one line at a
// time and messages are written unchanged. The driver and KdPackage both
// print through it, so a test can give them a console of its own.
#pragma once

#include <cstdio>
#include <string>

namespace kd {

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

}  // namespace kd
