// Start and rebuild of the adaptive literal/length tree.
#include "codec/adaptive_tree.h"

#include <cassert>

namespace kd::codec {

void AdaptiveTree::Init() {
    for (int i = 0; i < SymbolCount; ++i) {
        weight[i] = 1;
        child[i] = i + LeafBase;
        parent[i + LeafBase] = i;
    }
    for (int i = 0, j = SymbolCount; j < NodeCount; i += 2, ++j) {
        weight[j] = weight[i] + weight[i + 1];
        child[j] = i;
        parent[i] = parent[i + 1] = j;
    }
    for (std::uint32_t i = NodeCount; i < ScratchWeight; ++i) weight[i] = 0xFFFF;
    for (std::uint32_t i = ScratchWeight; i < ScratchWeight + 8; ++i) weight[i] = 0;
    parent[Root] = 0;
}

void AdaptiveTree::Rebuild() {
    // Leaves first, in their present order, with halved counts (1 stays 1).
    // That order is by count, and halving keeps it.
    std::uint32_t leafWeight[SymbolCount];
    std::uint32_t leafChild[SymbolCount];
    int leaves = 0;
    for (int i = 0; i < NodeCount; ++i) {
        if (child[i] >= LeafBase) {
            leafWeight[leaves] = (weight[i] + 1) / 2;
            leafChild[leaves] = child[i];
            ++leaves;
        }
    }
    // Pairing entries from the lowest up, each new node goes after every
    // entry whose count is not above its own. New nodes come in count order
    // and always after the two they join, so the result is a merge of the
    // leaves and the new nodes in which a leaf goes first on equal counts.
    int leaf = 0;
    int made = 0;
    for (int n = 0; n < NodeCount; ++n) {
        if (2 * made + 1 < n) {
            const std::uint32_t f = weight[2 * made] + weight[2 * made + 1];
            if (leaf == SymbolCount || f < leafWeight[leaf]) {
                weight[n] = f;
                child[n] = static_cast<std::uint32_t>(2 * made);
                ++made;
                continue;
            }
        }
        assert(leaf < SymbolCount);
        weight[n] = leafWeight[leaf];
        child[n] = leafChild[leaf];
        ++leaf;
    }
    for (int i = 0; i < NodeCount; ++i) {
        const std::uint32_t a = child[i];
        parent[a] = i;
        if (a < LeafBase) parent[a + 1] = i;
    }
}

}  // namespace kd::codec
