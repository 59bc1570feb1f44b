// An open-addressing table of path hashes. Operating-system independent.
#include "script/folded_paths.h"

#include <functional>
#include <string_view>

#include "script/rules.h"
#include "util/strings.h"

namespace kd::script {

namespace {

std::string Exact(std::string path) {
    util::SlashesToBackslashes(path);
    return path;
}

// FNV-1a of the folded form; never 0, which marks an empty slot.
std::uint64_t FoldedHash(const std::string& path) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : UpperCaseName(Exact(path))) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash == 0 ? 1 : hash;
}

// The bytes' own hash, its low bit left free for the mark.
std::uint32_t ExactHash(const std::string& path) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(Exact(path))) & ~1u;
}

}  // namespace

std::size_t FoldedPaths::Find(std::uint64_t hash) const {
    const std::size_t mask = folded.size() - 1;
    std::size_t at = hash & mask;
    while (folded[at] != 0 && folded[at] != hash) at = (at + 1) & mask;
    return at;
}

bool FoldedPaths::Add(const std::string& path) {
    if (4 * (used + 1) > 3 * folded.size()) Grow();
    const std::uint64_t hash = FoldedHash(path);
    const std::uint32_t bytes = ExactHash(path);
    const std::size_t at = Find(hash);
    if (folded[at] != 0) return (exact[at] & ~1u) == bytes;
    folded[at] = hash;
    exact[at] = bytes;
    ++used;
    return true;
}

void FoldedPaths::Mark(const std::string& path, bool on) {
    if (folded.empty()) return;
    const std::size_t at = Find(FoldedHash(path));
    if (folded[at] != 0) exact[at] = (exact[at] & ~1u) | (on ? 1u : 0u);
}

bool FoldedPaths::Marked(const std::string& path) const {
    if (folded.empty()) return false;
    const std::size_t at = Find(FoldedHash(path));
    return folded[at] != 0 && (exact[at] & 1u) != 0;
}

void FoldedPaths::Grow() {
    std::vector<std::uint64_t> oldFolded(folded.empty() ? 1024 : 2 * folded.size());
    std::vector<std::uint32_t> oldExact(oldFolded.size());
    oldFolded.swap(folded);
    oldExact.swap(exact);
    for (std::size_t i = 0; i < oldFolded.size(); ++i) {
        if (oldFolded[i] == 0) continue;
        const std::size_t at = Find(oldFolded[i]);
        folded[at] = oldFolded[i];
        exact[at] = oldExact[i];
    }
}

}  // namespace kd::script
