// How the POSIX stand-in spells text and paths: bytes stay bytes, and "\"
// (the separator, "/" at the system boundary) is the root of the one tree.
#include <string>

#include "platform/platform.h"

namespace kd::platform {

std::u16string WidenAnsi(const std::string& text) {
    std::u16string units;
    units.reserve(text.size());
    for (const char c : text) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    return units;
}

bool RootedPathIsFull() { return true; }

}  // namespace kd::platform
