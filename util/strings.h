// In-place string and path helpers: whitespace normalisation, ASCII case
// folding and the separator rules every directory path follows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kd::util {

// The one case folding of the installer: ASCII letters only, whatever the
// locale; bytes 0x80 and above never change.
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
void MakeUpper(std::string& text);
void MakeLower(std::string& text);
// The same on 16-bit text units: only a to z change, every other unit stays.
void MakeUpper(std::u16string& text);

// Position of the first occurrence of `pattern` in `text`, ASCII case
// ignored; none if there is none or either is null.
std::optional<std::size_t> FindNoCase(const char* text, const char* pattern);

// Whitespace is tab, LF, CR and space. With collapseSpaces (every caller):
// trims both ends, turns tabs into spaces, deletes CR and LF and reduces each
// run of spaces to one. removeAllSpaces erases every space instead.
void TrimString(std::string& text, bool removeAllSpaces, bool collapseSpaces);

// A directory as the installer holds it while it compares or stores it:
// blanks normalised as TrimString with collapseSpaces, then one trailing
// separator removed (RemoveTrailingSeparator). Slashes stay: where they
// count as backslashes, the caller turns them.
std::string DirectoryForm(std::string path);

// The two directory separators of a Windows path.
constexpr bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Deletes one trailing "/", then one trailing "\".
void RemoveTrailingSeparator(std::string& path);
// Appends "\" to a non-empty path that does not end in one.
void AddTrailingBackslash(std::string& path);
// Every "/" becomes "\".
void SlashesToBackslashes(std::string& path);

}  // namespace kd::util
