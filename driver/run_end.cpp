// The installer's closing lines and the final wait for Enter.
#include "driver/run_end.h"

namespace kd::driver {

int EndRun(util::Console& console, std::initializer_list<std::string> lines, int exitCode) {
    for (const std::string& line : lines) Print(console, line);
    Print(console, "\n\nPress enter to continue");
    std::string discarded;
    ReadConsoleLine(console, discarded);
    return exitCode;
}

}  // namespace kd::driver
