// The console the installer talks through: answers are read one line at a
// time and messages are written unchanged. The driver and KdPackage both
// print through it, so a test can give them a console of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "util/byte_stream.h"

namespace kd::util {

// What is typed at a console that gives UTF-16 (Windows).
struct TypedInput {
    // Reads at most `size` units; 0 when nothing could be read.
    std::function<std::size_t(char16_t* units, std::size_t size)> read;
    std::u16string units;  // read, from `next` on not yet taken
    std::size_t next = 0;
    bool ended = false;  // Ctrl-Z was typed, or a read gave nothing
};

struct Console {
    std::FILE* input = stdin;
    std::FILE* output = stdout;
    // Set by the first read: whether the input began with a UTF-8 byte order
    // mark, which makes every answer UTF-8.
    std::optional<bool> utf8Answers;
    // Whether the output is a terminal, asked of the platform when a
    // percentage is first to be shown; tests may set it.
    std::optional<bool> terminal;
    // Set by the first read when the input is a console that gives UTF-16
    // (platform::IsWideConsole); tests may set its `read`.
    TypedInput typed;
};

// The longest answer, in bytes before its line feed: with the line feed and
// a terminating NUL it fills the 2048-byte line buffer of the dialogue.
constexpr std::size_t LongestAnswer = 2046;

enum class LineRead {
    Ok,             // `line` holds the answer
    TooLong,        // more than LongestAnswer bytes; read to its end and discarded
    NotInCodePage,  // a UTF-8 or typed answer this computer's code page cannot hold; read to its end
    End,            // end of input or a read error before any byte
};

// Reads one line and removes its line feed; a carriage return stays, and so
// does every NUL byte: cutting there would make "\0y" (a line of a UTF-16
// answer file) an empty answer, which takes the default. A longer line is
// read to its end in constant memory, so its tail is never taken for the next
// answer. A UTF-8 byte order mark at the very start of the input is skipped,
// and every answer after it is converted from UTF-8
// (platform::Utf8ToCodePage). A line typed at a console that gives UTF-16
// loses its CR LF and is converted to the code page by the same rule
// (platform::Utf16ToCodePage); its length is counted in converted bytes, and
// Ctrl-Z ends the input, as the C run-time's text mode has it. `line` is
// empty unless the result is Ok.
LineRead ReadConsoleLine(Console& console, std::string& line);

// Writes the text exactly as given (it is never used as a format) and flushes,
// so that the output keeps its order with that of other writers. A percentage
// shown on the same output is erased first.
void Print(Console& console, const std::string& text);

// Shows how far a long step is as " NN%" after the last message, when the
// output is a terminal: drawn at most ten times a second, and erased by the
// next Print. On any other output it writes nothing. The position of
// `stream` is the part done, and is only asked for when a percentage is drawn.
void ShowPercent(Console& console, std::FILE* stream, std::int64_t total);

// A decoder's observer that shows, on `console` when it is not null, how much
// of the package stream `input` has been read, and hands every block on to
// `next` when that is not null.
class ReadPercent : public ByteSink {
public:
    // `input` is at its start.
    ReadPercent(Console* console, std::FILE* input, ByteSink* next);
    bool Write(const unsigned char* data, std::size_t size) override;
    bool Flush() override { return next == nullptr || next->Flush(); }

private:
    Console* console;
    std::FILE* input;
    ByteSink* next;
    std::int64_t total = 0;
};

}  // namespace kd::util
