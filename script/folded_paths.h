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
    // Code page 1252 as UpperCaseName upper-cases it.
    LetterCase();
    LetterCase(int codePage, const Table& upper) : codePage(codePage), upper(upper) {}

    int CodePage() const { return codePage; }
    std::u32string Fold(std::string_view name) const;
    // A 64-bit hash of the folded path ("/" taken as "\"); never 0.
    std::uint64_t FoldedHash(std::string_view path) const;

private:
    int codePage;
    Table upper;
};

enum class EntryKind { File, Directory };

// The names of one directory's files and subdirectories, each paired with
// the last earlier name it is one with (a subdirectory's with a final "\").
// Compared whole: a listing never holds the same bytes twice.
std::vector<std::pair<std::string, std::string>> SameNames(const LetterCase& rule,
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
