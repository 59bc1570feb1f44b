// Console reads and writes.
#include "util/console.h"

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

}  // namespace kd
