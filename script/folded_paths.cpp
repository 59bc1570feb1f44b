// The letter-case rule and an open-addressing table of path hashes.
// Operating-system independent.
#include "script/folded_paths.h"

#include <unordered_map>

#include "script/format.h"
#include "script/rules.h"

namespace kd::script {

namespace {

constexpr std::uint64_t DirectoryBit = 1, MarkBit = 2, Flags = DirectoryBit | MarkBit;
constexpr std::uint64_t FnvBasis = 14695981039346656037ull, FnvPrime = 1099511628211ull;

unsigned char Level(char c) { return static_cast<unsigned char>(c == '/' ? '\\' : c); }

}  // namespace

LetterCase::LetterCase() : codePage(AssumedCodePage) {
    for (int byte = 0; byte < 256; ++byte)
        upper[byte] = static_cast<unsigned char>(UpperCaseName(std::string(1, static_cast<char>(byte)))[0]);
}

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

std::vector<std::pair<std::string, std::string>> SameNames(const LetterCase& rule,
                                                           const std::vector<std::string>& files,
                                                           const std::vector<std::string>& directories) {
    std::vector<std::pair<std::string, std::string>> same;
    std::unordered_map<std::u32string, std::string> seen;  // folded name -> last name shown
    auto add = [&](const std::string& name, const char* suffix) {
        auto [at, first] = seen.try_emplace(rule.Fold(name));
        if (!first) same.emplace_back(at->second, name + suffix);
        at->second = name + suffix;
    };
    for (const std::string& name : files) {
        if (!IsSkippedFile(name)) add(name, "");
    }
    for (const std::string& name : directories) add(name, "\\");
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
    const std::uint64_t exact = ExactHash(path) | (kind == EntryKind::Directory ? DirectoryBit : 0);
    Slot& slot = slots[SlotOf(rule.FoldedHash(path))];
    if (slot.folded == 0) {
        slot = {rule.FoldedHash(path), exact};
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
