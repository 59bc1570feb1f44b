// Code pages through the Windows converters, and kdpack's tree walk through
// the wide functions: a name outside the ANSI code page reaches it intact.
#include "platform/code_page.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/win32/handles.h"

namespace kd::platform {

namespace {

std::wstring Widen(const std::string& text, UINT codePage) {
    const int size = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const wchar_t* wide, int length) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
    return text;
}

// "\\?\" is not added: kdpack's paths stay within what the A functions took.
std::wstring WidePath(const std::string& utf8) { return Widen(utf8, CP_UTF8); }

}  // namespace

bool CodePageCharacters(int codePage, CodePageTable& characters, CodePageTable& upper) {
    if (!::IsValidCodePage(static_cast<UINT>(codePage))) return false;
    for (int byte = 0; byte < 256; ++byte) {
        const char in = static_cast<char>(byte);
        wchar_t wide[2] = {}, upperWide[2] = {};
        const int length = ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, &in, 1, wide, 2);
        if (length != 1) {
            characters[byte] = upper[byte] = NoCharacter;
            continue;
        }
        characters[byte] = wide[0];
        const int mapped = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide, 1, upperWide, 2, nullptr,
                                           nullptr, 0);
        // Only a one-to-one pair counts, as on POSIX.
        wchar_t lowerWide[2] = {};
        const bool pair = mapped == 1 && ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, upperWide, 1,
                                                         lowerWide, 2, nullptr, nullptr, 0) == 1 &&
                          lowerWide[0] == wide[0];
        upper[byte] = pair ? upperWide[0] : wide[0];
    }
    return true;
}

int CharacterToCodePage(int codePage, std::uint32_t character) {
    wchar_t wide[2];
    int length = 1;
    if (character >= 0x10000) {
        wide[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
        wide[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        length = 2;
    } else {
        wide[0] = static_cast<wchar_t>(character);
    }
    char out[4];
    BOOL usedDefault = FALSE;
    const int size = ::WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, wide, length, out,
                                           sizeof out, nullptr, &usedDefault);
    if (size != 1 || usedDefault) return -1;
    return static_cast<unsigned char>(out[0]);
}

std::string ShownName(int, const std::string& bytes) { return bytes; }

std::string ArgumentToUtf8(const std::string& path) {
    const std::wstring wide = Widen(path, CP_ACP);
    return Narrow(wide.data(), static_cast<int>(wide.size()));
}

bool ListDirectoryUtf8(const std::string& directory, std::vector<FindEntry>& entries) {
    WIN32_FIND_DATAW data{};
    ScopedFindHandle search(::FindFirstFileW(WidePath(directory + "\\*").c_str(), &data));
    if (!search.Valid()) return false;
    do {
        FindEntry entry;
        entry.name = Narrow(data.cFileName, -1);
        if (!entry.name.empty()) entry.name.pop_back();  // the terminating zero counted by -1
        if (entry.name == "." || entry.name == "..") continue;
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back(std::move(entry));
    } while (::FindNextFileW(search.Get(), &data));
    return true;
}

Stream OpenForReadUtf8(const std::string& path) {
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedFileHandle handle(
        ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) return nullptr;
    Error error = Error::None;
    return AdoptHandle(handle, _O_BINARY | _O_RDONLY, "rb", error);
}

bool SameFileUtf8(const std::string& first, const std::string& second) {
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        ScopedFileHandle handle(::CreateFileW(WidePath(path).c_str(), 0, share, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return handle.Valid() && ::GetFileInformationByHandle(handle.Get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    if (!identify(first, a) || !identify(second, b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace kd::platform
