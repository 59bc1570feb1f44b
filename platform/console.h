// Answers typed or saved in UTF-8, in the form the rest of the program reads
// text in: the ANSI code page on Windows, bytes in the POSIX stand-in.
#pragma once

#include <string>
#include <string_view>

namespace kd::platform {

// Converts `utf8` into `text` in the ANSI code page; false when it is not
// UTF-8 or holds a character the code page cannot hold (no best-fit
// substitutes). Win32: MultiByteToWideChar(CP_UTF8) then
// WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS) with the used-default
// check. POSIX: the bytes as they are.
bool Utf8ToCodePage(std::string_view utf8, std::string& text);

}  // namespace kd::platform
