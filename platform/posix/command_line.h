// The POSIX stand-in's splitting of a Windows command line into arguments.
// Its own header so that a test can check the rules without starting a process.
#pragma once

#include <string>
#include <vector>

namespace kd::platform {

// The Windows C run-time's rules: the program name ends at the first blank
// outside double quotes, with the quotes dropped and backslashes literal; in
// the arguments, 2n backslashes before a quote give n and the quote toggles
// quoting, 2n+1 give n and a literal quote, and "" inside quotes is a quote.
// The program name is always the first element, even when empty.
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace kd::platform
