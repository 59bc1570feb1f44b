// The console the installer talks through: answers are read one line at a
// time and messages are written unchanged. The driver and KdPackage both
// print through it, so a test can give them a console of its own.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace kd::util {

struct Console {
    std::FILE* input = stdin;
    std::FILE* output = stdout;
};

// The longest answer, in bytes before its line feed: with the line feed and
// a terminating NUL it fills the 2048-byte line buffer of the dialogue.
constexpr std::size_t LongestAnswer = 2046;

enum class LineRead {
    Ok,       // `line` holds the answer
    TooLong,  // more than LongestAnswer bytes; read to its end and discarded
    End,      // end of input or a read error before any byte
};

// Reads one line and removes its line feed; a carriage return stays, and so
// does every NUL byte: cutting there would make "\0y" (a line of a UTF-16
// answer file) an empty answer, which takes the default. A longer line is read to its end in
// constant memory, so its tail is never taken for the next answer. `line` is
// empty unless the result is Ok.
LineRead ReadConsoleLine(Console& console, std::string& line);

// Writes the text exactly as given (it is never used as a format) and flushes,
// so that the output keeps its order with that of other writers.
void Print(Console& console, const std::string& text);

}  // namespace kd::util
