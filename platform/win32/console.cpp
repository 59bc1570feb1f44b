// Answers in UTF-8 on Windows, converted to the ANSI code page.
#include <windows.h>

#include <string>

#include "platform/console.h"
#include "platform/console_input.h"

namespace kd::platform {

bool Utf8ToCodePage(std::string_view utf8, std::string& text) {
    text.clear();
    if (utf8.empty()) return true;
    const int length = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), units);
    return Utf16ToCodePage(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()), text);
}

}  // namespace kd::platform
