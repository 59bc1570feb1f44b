// Typed answers in the POSIX stand-in: its terminal gives bytes, so nothing
// is read as UTF-16; converted text is UTF-8 (iconv), as the stand-in's
// names are.
#include "platform/console_input.h"

#include <iconv.h>

namespace kd::platform {

bool IsWideConsole(std::FILE*) { return false; }

std::size_t ReadTyped(std::FILE*, char16_t*, std::size_t) { return 0; }

bool Utf16ToCodePage(std::u16string_view text, std::string& out) {
    out.assign(text.size() * 3, '\0');  // at most three bytes a unit
    // The converter refuses a lone surrogate.
    const iconv_t converter = ::iconv_open("UTF-8", "UTF-16LE");
    char* from = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    std::size_t left = text.size() * sizeof(char16_t);
    char* to = out.data();
    std::size_t room = out.size();
    const bool converted = converter != reinterpret_cast<iconv_t>(-1) &&
                           ::iconv(converter, &from, &left, &to, &room) != static_cast<std::size_t>(-1) && left == 0;
    if (converter != reinterpret_cast<iconv_t>(-1)) ::iconv_close(converter);
    out.resize(converted ? out.size() - room : 0);
    return converted;
}

}  // namespace kd::platform
