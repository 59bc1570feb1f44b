// Names Windows takes for one: paths noted in bounded memory, so that a
// second path that differs from an earlier one only in letter case is found
// however many paths a script holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kd::script {

// Paths noted by a hash of their upper-cased bytes (UpperCaseName, "/" taken
// as "\") and a hash of the bytes themselves: a second path that folds the
// same but differs is one Windows takes for the first. Twelve bytes a slot,
// at most 32 bytes a path while the table grows.
class FoldedPaths {
public:
    // False when an earlier path folds the same and differs in its bytes.
    bool Add(const std::string& path);
    // A mark on a noted path (files: it holds zero bytes); nothing for a
    // path never noted, which is never marked.
    void Mark(const std::string& path, bool on);
    bool Marked(const std::string& path) const;

private:
    std::size_t Find(std::uint64_t folded) const;  // its slot, or the empty one where it would go
    void Grow();
    std::vector<std::uint64_t> folded;  // 0: empty slot
    std::vector<std::uint32_t> exact;   // low bit: the mark
    std::size_t used = 0;
};

}  // namespace kd::script
