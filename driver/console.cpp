// Console reads and writes of the installer.
#include "driver/console.h"

#include <cstring>

namespace kd {

bool ReadConsoleLine(Console& console, std::string& line) {
    line.clear();
    char buffer[ConsoleLineSize];
    if (std::fgets(buffer, ConsoleLineSize, console.input) == nullptr) return false;
    std::size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] == '\n') --length;
    line.assign(buffer, length);
    return true;
}

void Print(Console& console, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), console.output);
    std::fflush(console.output);
}

int EndRun(Console& console, std::initializer_list<std::string> lines, int exitCode) {
    for (const std::string& line : lines) Print(console, line);
    Print(console, "\n\nPress enter to continue");
    std::string discarded;
    ReadConsoleLine(console, discarded);
    return exitCode;
}

}  // namespace kd
