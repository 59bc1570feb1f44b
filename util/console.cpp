// Console reads and writes.
#include "util/console.h"

namespace kd::util {

LineRead ReadConsoleLine(Console& console, std::string& line) {
    line.clear();
    bool anyByte = false, tooLong = false;
    int c;
    while ((c = std::getc(console.input)) != EOF) {
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
    return LineRead::Ok;
}

void Print(Console& console, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), console.output);
    std::fflush(console.output);
}

}  // namespace kd::util
