// The letter-case rule and an open-addressing table of path hashes.
// Operating-system independent.
#include "script/folded_paths.h"

#include <cstdio>
#include <unordered_map>

#include "script/format.h"
#include "platform/code_page.h"

namespace kd::script {

namespace {

constexpr std::uint64_t DirectoryBit = 1, MarkBit = 2, Flags = DirectoryBit | MarkBit;
constexpr std::uint64_t FnvBasis = 14695981039346656037ull, FnvPrime = 1099511628211ull;

unsigned char Level(char c) { return static_cast<unsigned char>(c == '/' ? '\\' : c); }

}  // namespace

std::u32string LetterCase::Fold(std::string_view name) const {
    std::u32string folded(name.size(), U'\0');
    for (std::size_t i = 0; i < name.size(); ++i) folded[i] = upper[static_cast<unsigned char>(name[i])];
    return folded;
}

std::uint64_t LetterCase::FoldedHash(std::string_view path) const {
    std::uint64_t hash = FnvBasis;
    for (const char c : path) {
        for (std::uint32_t value = upper[Level(c)], i = 0; i < 3; ++i, value >>= 8) {
            hash ^= value & 0xFF;
            hash *= FnvPrime;
        }
    }
    return hash == 0 ? 1 : hash;
}

std::string CodePageRefusal(int codePage) {
    for (const int accepted : CodePages) {
        if (codePage == accepted) return {};
    }
    std::string list;
    for (const int accepted : CodePages) list += (list.empty() ? "" : ", ") + std::to_string(accepted);
    switch (codePage) {
    case 932: case 936: case 949: case 950:
        return "a double-byte code page, where the second byte of a character can be \\, which the installer "
               "takes for a separator; kdpack writes names in " + list;
    case 1255: case 1258:
        return "iconv composes characters in it where Windows does not, so the two kdpack builds would write "
               "different names; kdpack writes names in " + list;
    default:
        return "not a single-byte Windows code page kdpack writes names in (" + list + ")";
    }
}

namespace {

constexpr std::uint32_t BeyondUnicode = 0x110000;

bool Undefined(std::uint32_t character) {
    return character == platform::NoCharacter || (character >= 0x80 && character <= 0x9F) ||
           (character >= 0xE000 && character <= 0xF8FF);
}

// The next character of UTF-8 text and its length; 0 for bytes that are not UTF-8.
std::size_t NextCharacter(std::string_view text, std::size_t at, std::uint32_t& character) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    character = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        character = character << 6 | (next & 0x3F);
    }
    const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (character < shortest[length] || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

CodePage::CodePage() : letterCase(DefaultCodePage, {}) {
    if (Load(DefaultCodePage)) return;
    // No converter: bytes stand for themselves and only ASCII letters pair up.
    LetterCase::Table upper{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        characters[byte] = byte;
        upper[byte] = byte >= 'a' && byte <= 'z' ? byte - 0x20 : byte;
    }
    letterCase = LetterCase(DefaultCodePage, upper);
}

bool CodePage::Load(int number) {
    LetterCase::Table upper{};
    if (!platform::CodePageCharacters(number, characters, upper)) return false;
    for (int byte = 0; byte < 256; ++byte) {
        if (Undefined(characters[byte])) upper[byte] = BeyondUnicode + static_cast<std::uint32_t>(byte);
    }
    letterCase = LetterCase(number, upper);
    return true;
}

bool CodePage::Defined(unsigned char byte) const { return !Undefined(characters[byte]); }

std::string CodePage::Convert(const std::string& utf8, std::string& bytes) const {
    bytes.clear();
    for (std::size_t at = 0; at < utf8.size();) {
        std::uint32_t character = 0;
        const std::size_t length = NextCharacter(utf8, at, character);
        if (length == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(utf8[at]));
            return std::string("the name is not UTF-8 (byte ") + hex + "); rename it";
        }
        const int byte = platform::CharacterToCodePage(Number(), character);
        if (byte < 0 || !Defined(static_cast<unsigned char>(byte))) {
            std::string reason = utf8.substr(at, length) + " is not in code page " + std::to_string(Number());
            for (const int other : CodePages) {
                if (other == Number() || Undefined(character)) continue;
                if (platform::CharacterToCodePage(other, character) >= 0)
                    return reason + "; pack with --code-page " + std::to_string(other) + " for machines that use it";
            }
            return reason + ", nor in any other code page kdpack writes names in";
        }
        bytes += static_cast<char>(byte);
        at += length;
    }
    return {};
}

std::string CodePage::Shown(const std::string& bytes) const { return platform::ShownName(Number(), bytes); }

bool CodePage::LooksLikeUtf8(std::string_view bytes) {
    bool beyondAscii = false;
    for (std::size_t at = 0; at < bytes.size();) {
        std::uint32_t character = 0;
        const std::size_t length = NextCharacter(bytes, at, character);
        if (length == 0) return false;
        beyondAscii = beyondAscii || length > 1;
        at += length;
    }
    return beyondAscii;
}

std::vector<std::pair<std::size_t, std::size_t>> SameNames(const LetterCase& rule,
                                                           const std::vector<std::string>& files,
                                                           const std::vector<std::string>& directories) {
    std::vector<std::pair<std::size_t, std::size_t>> same;
    std::unordered_map<std::u32string, std::size_t> seen;  // folded name -> last index
    for (std::size_t index = 0; index < files.size() + directories.size(); ++index) {
        const bool file = index < files.size();
        const std::string& name = file ? files[index] : directories[index - files.size()];
        if (name.empty() || (file && IsSkippedFile(name))) continue;  // empty: a name not written
        auto [at, first] = seen.try_emplace(rule.Fold(name), index);
        if (!first) same.emplace_back(at->second, index);
        at->second = index;
    }
    return same;
}

namespace {

// FNV-1a of the bytes, "/" taken as "\", with the low bits left for the flags.
std::uint64_t ExactHash(std::string_view path) {
    std::uint64_t hash = FnvBasis;
    for (const char c : path) {
        hash ^= Level(c);
        hash *= FnvPrime;
    }
    return hash & ~Flags;
}

}  // namespace

std::size_t FoldedPaths::SlotOf(std::uint64_t hash) const {
    const std::size_t mask = slots.size() - 1;
    std::size_t at = hash & mask;
    while (slots[at].folded != 0 && slots[at].folded != hash) at = (at + 1) & mask;
    return at;
}

FoldedPaths::Clash FoldedPaths::Add(std::string_view path, EntryKind kind) {
    if (4 * (used + 1) > 3 * slots.size()) Grow();
    const std::uint64_t folded = rule.FoldedHash(path);
    const std::uint64_t exact = ExactHash(path) | (kind == EntryKind::Directory ? DirectoryBit : 0);
    Slot& slot = slots[SlotOf(folded)];
    if (slot.folded == 0) {
        slot = {folded, exact};
        ++used;
        return Clash::None;
    }
    if ((slot.exact & DirectoryBit) != (exact & DirectoryBit)) return Clash::Kind;
    return (slot.exact & ~MarkBit) == exact ? Clash::None : Clash::LetterCase;
}

FoldedPaths::Noted FoldedPaths::Find(std::string_view path) const {
    if (slots.empty()) return {};
    const Slot& slot = slots[SlotOf(rule.FoldedHash(path))];
    if (slot.folded == 0) return {};
    return {true, (slot.exact & DirectoryBit) ? EntryKind::Directory : EntryKind::File, (slot.exact & MarkBit) != 0};
}

void FoldedPaths::Mark(std::string_view path) {
    if (slots.empty()) return;
    Slot& slot = slots[SlotOf(rule.FoldedHash(path))];
    if (slot.folded != 0) slot.exact |= MarkBit;
}

void FoldedPaths::Grow() {
    std::vector<Slot> old(slots.empty() ? 1024 : 2 * slots.size());
    old.swap(slots);
    for (const Slot& slot : old) {
        if (slot.folded != 0) slots[SlotOf(slot.folded)] = slot;
    }
}

}  // namespace kd::script
