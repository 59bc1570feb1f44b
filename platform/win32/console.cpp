// Answers in UTF-8 on Windows, converted to the ANSI code page.
#include <windows.h>

#include <string>

#include "platform/console.h"

namespace kd::platform {

bool Utf8ToCodePage(std::string_view utf8, std::string& text) {
    text.clear();
    if (utf8.empty()) return true;
    const int length = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), units);
    // A machine whose ANSI code page is UTF-8 takes the answer as it is; the
    // conversion refuses the best-fit flag and the default-char check there.
    if (::GetACP() == CP_UTF8) {
        text.assign(utf8);
        return true;
    }
    BOOL usedDefault = FALSE;
    const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0,
                                            nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) return false;
    text.assign(static_cast<std::size_t>(bytes), '\0');
    usedDefault = FALSE;
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, text.data(), bytes, nullptr,
                          &usedDefault);
    if (usedDefault) {
        text.clear();
        return false;
    }
    return true;
}

}  // namespace kd::platform
