// Answers in UTF-8 in the POSIX stand-in: names are bytes here, so they stay.
#include "platform/console.h"

namespace kd::platform {

bool Utf8ToCodePage(std::string_view utf8, std::string& text) {
    text.assign(utf8);
    return true;
}

}  // namespace kd::platform
