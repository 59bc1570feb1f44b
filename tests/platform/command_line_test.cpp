// The stand-in's command-line splitter against the Windows C run-time's rules
// that the installer's quoting relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/command_line.h"

namespace kd::platform {
namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> arguments;  // the program name first
};

TEST(SplitCommandLine, FollowsTheRunTimeRules) {
    const SplitCase cases[] = {
        {"p.exe a b", {"p.exe", "a", "b"}},
        {"\"C:\\Program Files\\p.exe\" -i", {"C:\\Program Files\\p.exe", "-i"}},
        {"\"p.exe\"", {"p.exe"}},
        // In the program name backslashes are literal and quotes only group.
        {"C:\\a\"b c\"\\p.exe x", {"C:\\ab c\\p.exe", "x"}},
        {"C:\\dir\\\"p.exe", {"C:\\dir\\p.exe"}},
        {"p \"x y\"", {"p", "x y"}},
        {"p \"a b", {"p", "a b"}},  // an unclosed quote runs to the end
        // Backslashes count only before a quote: 2n give n and the quote
        // groups, 2n+1 give n and a literal quote.
        {"p a\\b\\\\c", {"p", "a\\b\\\\c"}},
        {"p a\\\"b", {"p", "a\"b"}},
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},
        {"p \"a\\\\\"", {"p", "a\\"}},
        {"p \"C:\\x y\\\\\" -i", {"p", "C:\\x y\\", "-i"}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},  // "" inside quotes is one quote
        // Empty and blank arguments survive only in quotes.
        {"p \"\" x", {"p", "", "x"}},
        {"p \"\"", {"p", ""}},
        {"p \" \"", {"p", " "}},
        {"p\ta\t\tb  ", {"p", "a", "b"}},
        {"p   ", {"p"}},
        {"", {""}},
    };
    for (const SplitCase& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << c.line;
}

}  // namespace
}  // namespace kd::platform
