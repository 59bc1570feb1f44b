// In-place string and path helpers: whitespace normalisation, ASCII case
// folding and the separator rules every directory path follows.
#pragma once

#include <string>

namespace kd {

// ASCII letters only; bytes 0x80 and above never change.
void MakeUpper(std::string& text);
void MakeLower(std::string& text);
// The same on 16-bit text units: only a to z change, every other unit stays.
void MakeUpper(std::u16string& text);

// Whitespace is tab, LF, CR and space. With collapseSpaces (every caller):
// trims both ends, turns tabs into spaces, deletes CR and LF and reduces each
// run of spaces to one. removeAllSpaces erases every space instead.
void TrimString(std::string& text, bool removeAllSpaces, bool collapseSpaces);

// Deletes one trailing "/", then one trailing "\".
void RemoveTrailingSeparator(std::string& path);
// Appends "\" to a non-empty path that does not end in one.
void AddTrailingBackslash(std::string& path);
// Every "/" becomes "\".
void SlashesToBackslashes(std::string& path);

}  // namespace kd
