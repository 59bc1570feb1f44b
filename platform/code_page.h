// Names in a Windows single-byte code page, converted by the system's own
// converter (Win32: MultiByteToWideChar, WideCharToMultiByte and
// LCMapStringEx; POSIX: iconv and towupper under the C.UTF-8 locale), and
// kdpack's walk of a tree by names in UTF-8 (Win32: the wide functions, which
// read names the ANSI code page cannot hold).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kd::platform {

using CodePageTable = std::array<std::uint32_t, 256>;
inline constexpr std::uint32_t NoCharacter = 0xFFFFFFFF;

// The Unicode character of every byte of `codePage` (NoCharacter where the
// system has none), and that character upper-cased on its own (Win32:
// LCMapStringEx with LOCALE_NAME_INVARIANT and LCMAP_UPPERCASE; POSIX:
// towupper_l under C.UTF-8) where lower-casing the capital gives it back;
// otherwise itself (µ, final ς and dotless ı, which glibc upper-cases and
// Windows does not). False when the system cannot convert the code page.
bool CodePageCharacters(int codePage, CodePageTable& characters, CodePageTable& upper);

// The byte of one character in `codePage`, or -1 when the code page cannot
// hold it (Win32: WideCharToMultiByte with WC_NO_BEST_FIT_CHARS and the
// default-character check; POSIX: iconv without transliteration).
int CharacterToCodePage(int codePage, std::uint32_t character);

// Code-page bytes as this system shows names: POSIX: UTF-8 (a byte without
// a character as U+FFFD); Win32: unchanged, for the console to show in its
// own code page.
std::string ShownName(int codePage, const std::string& bytes);

// A path as the command line gave it, in UTF-8 (Win32: from the ANSI code page).
std::string ArgumentToUtf8(const std::string& path);

// The entries of a directory by UTF-8 names, "." and ".." left out (Win32:
// FindFirstFileW / FindNextFileW). False when it cannot be listed.
bool ListDirectoryUtf8(const std::string& directory, std::vector<FindEntry>& entries);
// Opens a file by its UTF-8 path for reading with full sharing (Win32: CreateFileW).
Stream OpenForReadUtf8(const std::string& path);
// SameFile by UTF-8 paths.
bool SameFileUtf8(const std::string& first, const std::string& second);

}  // namespace kd::platform
