// Names Windows takes for one: the letter-case rule kdpack's pack and verify
// both judge by. A directory holds files and subdirectories in one set of
// names, and two names are one when they are equal upper-cased character by
// character in the code page the package is written in.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kd::script {

// Letter case in one single-byte code page: the upper-case character of each
// byte. A byte the code page leaves undefined folds to a value above Unicode,
// so it equals only itself.
class LetterCase {
public:
    using Table = std::array<std::uint32_t, 256>;
    LetterCase(int codePage, const Table& upper) : codePage(codePage), upper(upper) {}

    int CodePage() const { return codePage; }
    std::u32string Fold(std::string_view name) const;
    // A 64-bit hash of the folded path ("/" taken as "\"); never 0.
    std::uint64_t FoldedHash(std::string_view path) const;

private:
    int codePage;
    Table upper;
};

// The Windows code pages kdpack writes names in: single-byte, and converted
// alike by Windows and iconv.
inline constexpr int CodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1256, 1257};
inline constexpr int DefaultCodePage = 1252;
// Why kdpack does not write names in `codePage`; empty for one of CodePages.
std::string CodePageRefusal(int codePage);

// A code page as the system converts it, and the letter-case rule of names
// written in it: each byte's character upper-cased on its own, as Unicode
// defines it (NTFS's own table, written when the volume was formatted, can
// differ in a few rare letters).
class CodePage {
public:
    // Code page 1252; bytes as themselves when the system cannot convert it.
    CodePage();
    // False when the system cannot convert `number`.
    bool Load(int number);

    int Number() const { return letterCase.CodePage(); }
    const LetterCase& Case() const { return letterCase; }
    // False for a byte the code page leaves undefined: the system has no
    // character for it, or gives a C1 control or a private-use character.
    bool Defined(unsigned char byte) const;
    // A name in UTF-8 in the code page's bytes. Empty on success, else why not,
    // naming the first character the code page cannot hold and a code page
    // that holds it.
    std::string Convert(const std::string& utf8, std::string& bytes) const;
    // The name as this system shows names (UTF-8 on POSIX).
    std::string Shown(const std::string& bytes) const;
    // True for bytes that read as UTF-8 with at least one character beyond
    // ASCII: a name written as UTF-8 that Windows shows as "CafÃ©".
    static bool LooksLikeUtf8(std::string_view bytes);

private:
    LetterCase::Table characters{};
    LetterCase letterCase;
};

enum class EntryKind { File, Directory };

// Names of one directory that are one name: each pair holds the index of a
// name and of the last earlier one it is one with, counting the files and
// then the subdirectories. Compared whole: a listing never holds the same
// bytes twice.
std::vector<std::pair<std::size_t, std::size_t>> SameNames(const LetterCase& rule,
                                                           const std::vector<std::string>& files,
                                                           const std::vector<std::string>& directories);

// Paths below the destination noted in bounded memory, so that a name one
// with an earlier one of another letter case or kind is found however many
// paths a script holds. A slot holds a 64-bit hash of the folded path and a
// 64-bit hash of its bytes, whose low bits carry the kind and the mark:
// 16 bytes a slot, at most 3/4 of the slots used.
class FoldedPaths {
public:
    explicit FoldedPaths(const LetterCase& rule) : rule(rule) {}

    enum class Clash { None, LetterCase, Kind };
    struct Noted {
        bool found = false;
        EntryKind kind = EntryKind::File;
        bool marked = false;
    };
    // Notes a path with its kind; whether it clashes with an earlier one that
    // folds the same. A repeat of the same path and kind is no clash.
    Clash Add(std::string_view path, EntryKind kind);
    // What was noted of a path that folds the same.
    Noted Find(std::string_view path) const;
    // Marks a noted path (the files a conversion rewrites, the directories
    // it rewrites every file of); nothing for a path never noted.
    void Mark(std::string_view path);

    const LetterCase& Rule() const { return rule; }

private:
    struct Slot {
        std::uint64_t folded = 0;  // 0: empty
        std::uint64_t exact = 0;   // bit 0: a directory; bit 1: marked
    };
    std::size_t SlotOf(std::uint64_t folded) const;  // its slot, or the empty one where it would go
    void Grow();
    LetterCase rule;
    std::vector<Slot> slots;
    std::size_t used = 0;
};

}  // namespace kd::script
