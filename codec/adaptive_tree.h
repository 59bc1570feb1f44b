// The code shared by the package decoder and encoder: the constants of the
// container format, the adaptive Huffman tree over literals and match lengths,
// and the fixed prefix code of match positions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kd::codec {

constexpr int RingSize = 4096;        // sliding window of recent output
constexpr int MinMatch = 3;
constexpr int MaxMatch = 10;
constexpr int RingStart = RingSize - MaxMatch;  // first output byte's ring position
constexpr int SymbolCount = 256 + MaxMatch - MinMatch + 1;  // literals, then lengths
constexpr int FirstLengthSymbol = 256;
constexpr int NodeCount = 2 * SymbolCount - 1;
constexpr int Root = NodeCount - 1;
constexpr std::uint32_t LeafBase = NodeCount;  // child value of a leaf: LeafBase + symbol
constexpr std::uint32_t RebuildLimit = 0x8000;
constexpr std::uint32_t ScratchWeight = NodeCount + 4;  // first of eight unused weight cells

// The adaptive code of literals and match lengths. Nodes are kept in
// non-decreasing weight order (the sibling property); the root stays at the
// last index. Weights never exceed RebuildLimit, so 32-bit cells hold the same
// values as the format's 16-bit counts while being quicker to work on.
struct AdaptiveTree {
    // Past the nodes: sentinels above every count, then cells a decoder may
    // count into to keep its loops free of branches.
    std::uint32_t weight[ScratchWeight + 8];
    // Unsigned so that indexing needs no sign extension in the hot loops.
    std::uint32_t child[NodeCount];         // first child, or LeafBase + symbol for a leaf
    std::uint32_t parent[NodeCount + SymbolCount];  // then, per symbol, the node of its leaf

    void Init();
    // Halves the counts and rebuilds the tree from its leaves, in leaf order.
    void Rebuild();

    // Counts one more occurrence of `symbol`, swapping nodes to keep the
    // sibling property; rebuilds first once the root has reached the limit.
    void Update(int symbol) {
        if (weight[Root] == RebuildLimit) Rebuild();
        Climb(parent[symbol + LeafBase]);
    }

    // Counts one more for node n and each node above it, swapping as Update.
    void Climb(std::size_t n) {
        do {
            const std::uint32_t k = ++weight[n];
            if (k > weight[n + 1]) {
                // The partner is the last node of the run of weights below k
                // after n; weights do not decrease, so counting the ones below
                // k four at a time finds it without a branch per node.
                std::size_t l = n + 1;
                for (;;) {
                    const unsigned below = (k > weight[l + 1]) + (k > weight[l + 2]) +
                                           (k > weight[l + 3]) + (k > weight[l + 4]);
                    l += below;
                    if (below < 4) break;
                }
                weight[n] = weight[l];
                weight[l] = k;
                const std::size_t a = child[n];
                const std::size_t b = child[l];
                child[l] = static_cast<std::uint32_t>(a);
                child[n] = static_cast<std::uint32_t>(b);
                // A leaf has one parent entry, a node two; writing a leaf's
                // entry twice spares a branch that data decides.
                parent[a] = static_cast<std::uint32_t>(l);
                parent[a + (a < LeafBase)] = static_cast<std::uint32_t>(l);
                parent[b] = static_cast<std::uint32_t>(n);
                parent[b + (b < LeafBase)] = static_cast<std::uint32_t>(n);
                n = l;
            }
            n = parent[n];
        } while (n != 0);  // the root's parent entry is 0; node 0 is always a leaf
    }
};

// Position prefix code: the upper six bits u of a position get a canonical
// code of 3 to 8 bits, the lower six bits follow verbatim.
struct PositionCode {
    std::array<std::uint8_t, 64> length{};  // code length per u
    std::array<std::uint8_t, 64> code{};    // code per u, right-aligned
    std::array<std::uint8_t, 256> high{};   // u whose code prefixes these 8 bits
    std::array<std::uint8_t, 256> bits{};   // and that code's length
};

constexpr PositionCode MakePositionCode() {
    PositionCode table;
    // Number of u values per code length 3 to 8.
    constexpr int perLength[] = {1, 3, 8, 12, 24, 16};
    int u = 0;
    unsigned next = 0;
    int previousLength = 3;
    for (int length = 3; length <= 8; ++length) {
        next <<= (length - previousLength);
        previousLength = length;
        for (int i = 0; i < perLength[length - 3]; ++i, ++u, ++next) {
            table.length[u] = static_cast<std::uint8_t>(length);
            table.code[u] = static_cast<std::uint8_t>(next);
            const unsigned first = next << (8 - length);
            for (unsigned index = first; index < first + (1u << (8 - length)); ++index) {
                table.high[index] = static_cast<std::uint8_t>(u);
                table.bits[index] = static_cast<std::uint8_t>(length);
            }
        }
    }
    return table;
}

inline constexpr PositionCode Positions = MakePositionCode();

}  // namespace kd::codec
