// How Windows spells text and paths: the ANSI code page and rooted paths.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace kd::platform {

std::u16string WidenAnsi(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(wide.data()), units);
    return wide;
}

// "\keldo" lands on whichever drive is current when it is used.
bool RootedPathIsFull() { return false; }

}  // namespace kd::platform
