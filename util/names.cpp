// Script name tests. Operating-system independent.
#include "util/names.h"

#include <algorithm>
#include <functional>

#include "util/strings.h"

namespace kd {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// True when `test` holds for some component of the name.
bool AnyComponent(const std::string& name, const std::function<bool(const std::string&)>& test) {
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (test(name.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

bool SameLetters(std::string text, const char* upper) {
    MakeUpper(text);
    return text == upper;
}

}  // namespace

bool ClimbsUp(const std::string& name) {
    return AnyComponent(name, [](const std::string& component) {
        const bool dotsAndBlanks = component.find_first_not_of(". ") == std::string::npos;
        return dotsAndBlanks && std::count(component.begin(), component.end(), '.') >= 2;
    });
}

bool NamesDevice(const std::string& name) {
    return AnyComponent(name, [](const std::string& component) {
        std::string base = component.substr(0, component.find('.'));
        while (!base.empty() && base.back() == ' ') base.pop_back();
        for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
            if (SameLetters(base, device)) return true;
        }
        // Windows also takes the superscript digits 1, 2 and 3 (bytes B9, B2,
        // B3 in code page 1252) for a port number. On other code pages the
        // byte is another letter; refusing such a name there is harmless.
        const unsigned char last = base.size() == 4 ? static_cast<unsigned char>(base[3]) : 0;
        const bool portNumber =
            (last >= '1' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
        return portNumber &&
               (SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT"));
    });
}

}  // namespace kd
