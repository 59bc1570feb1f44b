// Code pages through iconv, names as the file system gives them: bytes, which
// kdpack takes for UTF-8.
#include "platform/code_page.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <map>

namespace kd::platform {

namespace {

// An iconv converter, closed when the program ends.
struct OpenConverter {
    iconv_t converter = reinterpret_cast<iconv_t>(-1);
    OpenConverter() = default;
    OpenConverter(const OpenConverter&) = delete;
    OpenConverter& operator=(const OpenConverter&) = delete;
    ~OpenConverter() {
        if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
    }
};

// One converter a direction and code page, kept for the run.
iconv_t Converter(int codePage, bool toCodePage) {
    static std::map<std::pair<int, bool>, OpenConverter> open;
    auto [at, added] = open.try_emplace({codePage, toCodePage});
    if (added) {
        const std::string name = "WINDOWS-" + std::to_string(codePage);
        at->second.converter =
            toCodePage ? iconv_open(name.c_str(), "UTF-32LE") : iconv_open("UTF-32LE", name.c_str());
    }
    return at->second.converter;
}

// Converts `in` whole; false when any of it cannot be converted.
bool Convert(iconv_t converter, const char* in, std::size_t inSize, char* out, std::size_t& outSize) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* from = const_cast<char*>(in);
    char* to = out;
    std::size_t room = outSize;
    if (iconv(converter, &from, &inSize, &to, &room) == static_cast<std::size_t>(-1) || inSize != 0) return false;
    outSize -= room;
    return true;
}

}  // namespace

bool CodePageCharacters(int codePage, CodePageTable& characters, CodePageTable& upper) {
    const iconv_t converter = Converter(codePage, false);
    // Freed when the program ends, like the converters.
    static const struct UnicodeLocale {
        locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        ~UnicodeLocale() {
            if (locale != nullptr) freelocale(locale);
        }
    } held;
    const locale_t unicode = held.locale;
    if (converter == reinterpret_cast<iconv_t>(-1) || unicode == nullptr) return false;
    for (int byte = 0; byte < 256; ++byte) {
        const char in = static_cast<char>(byte);
        unsigned char out[8];
        std::size_t size = sizeof out;
        if (!Convert(converter, &in, 1, reinterpret_cast<char*>(out), size) || size != 4) {
            characters[byte] = upper[byte] = NoCharacter;
            continue;
        }
        characters[byte] = out[0] | out[1] << 8 | out[2] << 16 | static_cast<std::uint32_t>(out[3]) << 24;
        // Only a one-to-one pair counts: µ, ς and ı stay themselves, as Windows keeps them.
        const wint_t character = static_cast<wint_t>(characters[byte]);
        const wint_t capital = towupper_l(character, unicode);
        upper[byte] = towlower_l(capital, unicode) == character ? capital : character;
    }
    return true;
}

int CharacterToCodePage(int codePage, std::uint32_t character) {
    const iconv_t converter = Converter(codePage, true);
    if (converter == reinterpret_cast<iconv_t>(-1)) return -1;
    const unsigned char in[4] = {static_cast<unsigned char>(character), static_cast<unsigned char>(character >> 8),
                                 static_cast<unsigned char>(character >> 16),
                                 static_cast<unsigned char>(character >> 24)};
    char out[8];
    std::size_t size = sizeof out;
    if (!Convert(converter, reinterpret_cast<const char*>(in), 4, out, size) || size != 1) return -1;
    return static_cast<unsigned char>(out[0]);
}

std::string ShownName(int codePage, const std::string& bytes) {
    const iconv_t converter = Converter(codePage, false);
    std::string shown;
    for (const char c : bytes) {
        unsigned char out[8];
        std::size_t size = sizeof out;
        std::uint32_t character = 0xFFFD;
        if (converter != reinterpret_cast<iconv_t>(-1) &&
            Convert(converter, &c, 1, reinterpret_cast<char*>(out), size) && size == 4)
            character = out[0] | out[1] << 8 | out[2] << 16;
        if (character < 0x80) {
            shown += static_cast<char>(character);
        } else if (character < 0x800) {
            shown += static_cast<char>(0xC0 | character >> 6);
            shown += static_cast<char>(0x80 | (character & 0x3F));
        } else {
            shown += static_cast<char>(0xE0 | character >> 12);
            shown += static_cast<char>(0x80 | (character >> 6 & 0x3F));
            shown += static_cast<char>(0x80 | (character & 0x3F));
        }
    }
    return shown;
}

std::string ArgumentToUtf8(const std::string& path) { return path; }

bool ListDirectoryUtf8(const std::string& directory, std::vector<FindEntry>& entries) {
    FindHandle search;
    FindEntry entry;
    const std::string pattern = directory + "\\*";
    if (!search.First(pattern.c_str(), entry)) return false;
    do {
        if (entry.name != "." && entry.name != "..") entries.push_back(entry);
    } while (search.Next(entry));
    return true;
}

Stream OpenForReadUtf8(const std::string& path) {
    Error error = Error::None;
    return OpenShared(path.c_str(), OpenMode{}, error);
}

bool SameFileUtf8(const std::string& first, const std::string& second) {
    return SameFile(first.c_str(), second.c_str());
}

}  // namespace kd::platform
