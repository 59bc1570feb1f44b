// Answers typed at a console. A Windows console gives what is typed as
// UTF-16, whatever its code page; the program reads text in the ANSI code
// page. The POSIX stand-in's terminal gives bytes, read like any stream.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kd::platform {

// True when `stream` reads a console that gives UTF-16 (Win32: GetConsoleMode
// succeeds on its handle). POSIX: false.
bool IsWideConsole(std::FILE* stream);

// Reads at most `size` units typed at that console, a line at most (Win32:
// ReadConsoleW). The number read; 0 when nothing could be read. POSIX: 0.
std::size_t ReadTyped(std::FILE* stream, char16_t* units, std::size_t size);

// Converts `text` into `out` in the ANSI code page; false when it holds a
// lone surrogate or a character the code page cannot hold (no best-fit
// substitutes). Win32: WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS) with
// the used-default check. POSIX: UTF-8, the stand-in's names being bytes.
bool Utf16ToCodePage(std::u16string_view text, std::string& out);

}  // namespace kd::platform
