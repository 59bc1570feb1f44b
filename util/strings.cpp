// String and path helpers. Operating-system independent.
#include "util/strings.h"

#include <string_view>

namespace kd::util {

namespace {

bool IsWhitespace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

void EraseAll(std::string& text, char c) { std::erase(text, c); }

// Replaces the first pair of spaces by one space until no pair is left;
// the same as one pass that keeps the first space of every run.
void CollapseSpaces(std::string& text) {
    std::string::size_type out = 0;
    for (std::string::size_type in = 0; in < text.size(); ++in) {
        if (text[in] == ' ' && out > 0 && text[out - 1] == ' ') continue;
        text[out++] = text[in];
    }
    text.resize(out);
}

}  // namespace

void MakeUpper(std::string& text) {
    for (char& c : text) c = AsciiUpper(c);
}

void MakeUpper(std::u16string& text) {
    for (char16_t& c : text) {
        if (c < 0x80) c = static_cast<char16_t>(AsciiUpper(static_cast<char>(c)));
    }
}

void MakeLower(std::string& text) {
    for (char& c : text) c = AsciiLower(c);
}

std::optional<std::size_t> FindNoCase(const char* text, const char* pattern) {
    if (!text || !pattern) return std::nullopt;
    const std::string_view haystack(text), needle(pattern);
    if (needle.size() > haystack.size()) return std::nullopt;
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
        std::size_t k = 0;
        while (k < needle.size() && AsciiLower(haystack[start + k]) == AsciiLower(needle[k])) ++k;
        if (k == needle.size()) return start;
    }
    return std::nullopt;
}

void TrimString(std::string& text, bool removeAllSpaces, bool collapseSpaces) {
    bool anyWhitespace = false;
    bool onlySpaces = true;
    for (char c : text) {
        if (IsWhitespace(c)) {
            anyWhitespace = true;
            if (c != ' ') onlySpaces = false;
        }
    }
    if (!anyWhitespace) return;

    if (onlySpaces) {
        if (removeAllSpaces) {
            EraseAll(text, ' ');
            return;
        }
        const auto first = text.find_first_not_of(' ');
        if (first == std::string::npos) {
            text.clear();
            return;
        }
        text.erase(0, first);
        text.erase(text.find_last_not_of(' ') + 1);
        if (collapseSpaces) CollapseSpaces(text);
        return;
    }

    for (char& c : text) {
        if (c == '\t') c = ' ';
    }
    EraseAll(text, '\n');
    EraseAll(text, '\r');
    if (collapseSpaces) CollapseSpaces(text);
    // Without collapsing, only one space goes at each end, as the collapsed
    // form has at most one there anyway.
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    if (!text.empty() && text.back() == ' ') text.pop_back();
    if (removeAllSpaces) EraseAll(text, ' ');
}

void RemoveTrailingSeparator(std::string& path) {
    if (!path.empty() && path.back() == '/') path.pop_back();
    if (!path.empty() && path.back() == '\\') path.pop_back();
}

std::string DirectoryForm(std::string path) {
    TrimString(path, false, true);
    RemoveTrailingSeparator(path);
    return path;
}

void AddTrailingBackslash(std::string& path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
}

void SlashesToBackslashes(std::string& path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
}

}  // namespace kd::util
