// Start and rebuild of the adaptive literal/length tree.
#include "codec/adaptive_tree.h"

#include <cstring>

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
    int j = 0;
    for (int i = 0; i < NodeCount; ++i) {
        if (child[i] >= LeafBase) {
            weight[j] = (weight[i] + 1) / 2;
            child[j] = child[i];
            ++j;
        }
    }
    // Pair nodes from the lowest up; each new node goes after every node
    // whose count is not above its own.
    for (int i = 0, n = SymbolCount; n < NodeCount; i += 2, ++n) {
        const std::uint32_t f = weight[i] + weight[i + 1];
        int k = n - 1;
        while (f < weight[k]) --k;
        ++k;
        std::memmove(&weight[k + 1], &weight[k], sizeof(weight[0]) * static_cast<unsigned>(n - k));
        std::memmove(&child[k + 1], &child[k], sizeof(child[0]) * static_cast<unsigned>(n - k));
        weight[k] = f;
        child[k] = i;
    }
    for (int i = 0; i < NodeCount; ++i) {
        const std::uint32_t a = child[i];
        parent[a] = i;
        if (a < LeafBase) parent[a + 1] = i;
    }
}

}  // namespace kd::codec
