// The POSIX stand-in's command-line splitter.
#include "platform/posix/command_line.h"

#include <cstddef>

namespace kd::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    std::string program;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else {
            program += line[i];
        }
        ++i;
    }
    arguments.push_back(program);

    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::string argument;
        quoted = false;
        for (;;) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++slashes;
                ++i;
            }
            bool copy = true;
            if (i < line.size() && line[i] == '"') {
                if (slashes % 2 == 0) {
                    if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                        ++i;  // "" inside quotes: one literal quote
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                slashes /= 2;
            }
            argument.append(slashes, '\\');
            if (i >= line.size() || (!quoted && IsBlank(line[i]))) break;
            if (copy) argument += line[i];
            ++i;
        }
        arguments.push_back(argument);
    }
    return arguments;
}

}  // namespace kd::platform
