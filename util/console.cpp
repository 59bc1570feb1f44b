// Console reads and writes, and the percentage drawn after a message.
#include "util/console.h"

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/console_input.h"
#include "platform/platform.h"
#include "util/files.h"

namespace kd::util {

namespace {

constexpr unsigned char Utf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr char16_t CtrlZ = 0x1A;
constexpr std::size_t TypedBlock = 256;
constexpr std::int64_t RedrawMs = 100;
constexpr int PercentWidth = 5;  // " 100%"

// What is drawn on a terminal belongs to that output, whichever copy of a
// Console drew it: the package prints through a copy of the driver's.
struct ShownPercent {
    std::FILE* output = nullptr;
    int percent = -1;
    std::int64_t drawnAt = 0;
};

ShownPercent& Shown() {
    static ShownPercent shown;
    return shown;
}

void Erase(std::FILE* output) {
    ShownPercent& shown = Shown();
    if (shown.output != output || shown.percent < 0) return;
    const std::string back(PercentWidth, '\b');
    const std::string erase = back + std::string(PercentWidth, ' ') + back;
    std::fwrite(erase.data(), 1, erase.size(), output);
    shown.percent = -1;
}

bool IsTerminal(Console& console) {
    if (!console.terminal) console.terminal = platform::IsTerminal(console.output);
    return *console.terminal;
}

// Reads the first bytes of the input: a UTF-8 mark is taken away, anything
// else is left in `pending` to begin the first line. The mismatching byte
// ends `pending`, so a line feed among them is its last byte.
void ReadMark(Console& console, std::string& pending) {
    console.utf8Answers = false;
    for (const unsigned char expected : Utf8Mark) {
        const int c = std::getc(console.input);
        if (c == EOF) return;
        pending += static_cast<char>(c);
        if (c != expected) return;
    }
    pending.clear();
    console.utf8Answers = true;
}

// The next unit typed, or -1 once the typed input has ended.
int NextTyped(TypedInput& typed) {
    if (typed.next == typed.units.size()) {
        if (typed.ended) return -1;
        typed.units.resize(TypedBlock);
        const std::size_t count = typed.read(typed.units.data(), TypedBlock);
        typed.units.resize(count < TypedBlock ? count : TypedBlock);
        typed.next = 0;
        typed.ended = count == 0;
        if (typed.ended) return -1;
    }
    return typed.units[typed.next++];
}

LineRead ReadTypedLine(TypedInput& typed, std::string& line) {
    std::u16string units;
    bool anyUnit = false, tooLong = false;
    int c;
    while ((c = NextTyped(typed)) >= 0) {
        if (c == CtrlZ) {
            typed.ended = true;
            typed.next = typed.units.size();
            break;
        }
        anyUnit = true;
        if (c == '\n') break;
        // A unit is a byte or more in any code page: one unit past the
        // longest answer tells that it is too long.
        if (units.size() <= LongestAnswer) {
            units += static_cast<char16_t>(c);
        } else {
            tooLong = true;
        }
    }
    if (c == '\n' && !units.empty() && units.back() == u'\r') units.pop_back();
    if (!anyUnit) return LineRead::End;
    if (tooLong) return LineRead::TooLong;
    if (!platform::Utf16ToCodePage(units, line)) {
        line.clear();
        return LineRead::NotInCodePage;
    }
    if (line.size() <= LongestAnswer) return LineRead::Ok;
    line.clear();
    return LineRead::TooLong;
}

}  // namespace

LineRead ReadConsoleLine(Console& console, std::string& line) {
    line.clear();
    if (!console.utf8Answers && !console.typed.read && platform::IsWideConsole(console.input)) {
        console.typed.read = [input = console.input](char16_t* units, std::size_t size) {
            return platform::ReadTyped(input, units, size);
        };
    }
    if (console.typed.read) return ReadTypedLine(console.typed, line);
    std::string pending;
    if (!console.utf8Answers) ReadMark(console, pending);
    std::size_t next = 0;
    bool anyByte = false, tooLong = false;
    int c;
    while ((c = next < pending.size() ? static_cast<unsigned char>(pending[next++]) : std::getc(console.input)) !=
           EOF) {
        anyByte = true;
        if (c == '\n') break;
        if (line.size() < LongestAnswer) {
            line += static_cast<char>(c);
        } else {
            tooLong = true;  // the rest of the line is read and dropped
        }
    }
    if (std::ferror(console.input) != 0 || !anyByte) {
        line.clear();
        return LineRead::End;
    }
    if (tooLong) {
        line.clear();
        return LineRead::TooLong;
    }
    if (*console.utf8Answers) {
        std::string converted;
        const bool held = platform::Utf8ToCodePage(line, converted);
        line = held ? std::move(converted) : std::string();
        if (!held) return LineRead::NotInCodePage;
    }
    return LineRead::Ok;
}

void Print(Console& console, const std::string& text) {
    Erase(console.output);
    std::fwrite(text.data(), 1, text.size(), console.output);
    std::fflush(console.output);
}

void ShowPercent(Console& console, std::FILE* stream, std::int64_t total) {
    if (total <= 0 || !IsTerminal(console)) return;
    ShownPercent& shown = Shown();
    const std::int64_t now = platform::Now();
    if (shown.output == console.output && shown.percent >= 0 && now - shown.drawnAt < RedrawMs) return;
    const std::int64_t done = FileTell(stream);
    if (done < 0) return;
    const int percent = static_cast<int>((done < total ? done : total) * 100 / total);
    const bool drawn = shown.output == console.output && shown.percent >= 0;
    if (drawn && percent == shown.percent) return;
    if (!drawn && shown.output) Erase(shown.output);
    // The same width each time: the new number overwrites the old one.
    char text[16];
    std::snprintf(text, sizeof text, "%s %3d%%", drawn ? "\b\b\b\b\b" : "", percent);
    std::fputs(text, console.output);
    std::fflush(console.output);
    shown = {console.output, percent, now};
}

ReadPercent::ReadPercent(Console* console, std::FILE* input, ByteSink* next)
    : console(console), input(input), next(next) {
    if (console && IsTerminal(*console)) total = StreamSize(input);
}

bool ReadPercent::Write(const unsigned char* data, std::size_t size) {
    if (console && total > 0) ShowPercent(*console, input, total);
    return next == nullptr || next->Write(data, size);
}

}  // namespace kd::util
