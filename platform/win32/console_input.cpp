// Typed answers on Windows: read from the console as UTF-16 and narrowed to
// the ANSI code page.
#include <io.h>
#include <windows.h>

#include "platform/console_input.h"

namespace kd::platform {

namespace {

HANDLE HandleOf(std::FILE* stream) {
    const int fd = stream ? ::_fileno(stream) : -1;
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace

bool IsWideConsole(std::FILE* stream) {
    DWORD mode = 0;
    const HANDLE handle = HandleOf(stream);
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

std::size_t ReadTyped(std::FILE* stream, char16_t* units, std::size_t size) {
    DWORD read = 0;
    const DWORD room = static_cast<DWORD>(size < 0x10000 ? size : 0x10000);
    if (!::ReadConsoleW(HandleOf(stream), units, room, &read, nullptr)) return 0;
    return read;
}

bool Utf16ToCodePage(std::u16string_view text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // A lone surrogate is no character; the strict UTF-8 conversion refuses it.
    if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length, nullptr, 0, nullptr, nullptr) <= 0) {
        return false;
    }
    // An ANSI code page of UTF-8 holds every character, and refuses the
    // best-fit flag and the default-char check.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const check = utf8 ? nullptr : &usedDefault;
    const int bytes = ::WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, check);
    if (bytes <= 0 || usedDefault) return false;
    out.assign(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, wide, length, out.data(), bytes, nullptr, check);
    if (usedDefault) out.clear();
    return !usedDefault;
}

}  // namespace kd::platform
