// Script name tests. Operating-system independent.
#include "util/names.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "util/strings.h"

namespace kd::util {

namespace {

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

bool EndsInDotOrBlank(const std::string& name) {
    return AnyComponent(name, [](const std::string& component) {
        return !component.empty() && (component.back() == '.' || component.back() == ' ');
    });
}

bool NamesDevice(const std::string& name) {
    return AnyComponent(name, [](const std::string& component) {
        // Windows ends a device's name at a dot or at a colon (a stream, or
        // the "COM1:" of old).
        std::string base = component.substr(0, component.find_first_of(".:"));
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

std::string NameProblem(const std::string& name) {
    if (name.empty()) return "empty name";
    if (name.front() == ' ' || name.back() == ' ') return "a blank at the start or end of the name";
    if (name.find("  ") != std::string::npos) return "two blanks in a row";
    for (unsigned char c : name) {
        if (c == '\t') return "a tab in the name";
        if (c == '\n' || c == '\r') return "a line end in the name";
        if (c < 0x20 || c == 0x7F) return "a control character in the name";
        if (c == '\\') return "a backslash, which the installer reads as a directory separator";
        if (std::strchr("<>:\"|?*", c)) {
            return std::string("the character ") + static_cast<char>(c) +
                   ", which Windows file names cannot hold";
        }
    }
    if (name.back() == '.') return "a dot at the end, which Windows drops";
    if (NamesDevice(name)) return "a Windows device name";
    return {};
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    std::size_t p = 0, n = 0, starAt = std::string::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace kd::util
