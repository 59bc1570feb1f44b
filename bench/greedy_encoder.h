// A greedy encoder for the benchmark's baseline: at every position the
// longest match (the nearest of equal ones), else a literal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/adaptive_tree.h"

namespace kd::bench {

inline std::string GreedyEncode(std::string_view text) {
    using namespace kd::codec;
    AdaptiveTree tree;
    tree.Init();
    const auto length = static_cast<std::uint32_t>(text.size());
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(length >> (8 * i)));
    std::string buffer(RingStart, ' ');
    buffer += text;
    buffer.append(16, '\0');
    const auto* data = reinterpret_cast<const unsigned char*>(buffer.data());
    std::vector<std::int64_t> head(1 << 16, -1), previous(buffer.size(), -1);
    std::uint64_t bits = 0;
    unsigned count = 0;
    auto put = [&](std::uint32_t value, unsigned size) {
        bits = (bits << size) | value;
        count += size;
        while (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>(bits >> count));
        }
    };
    auto putSymbol = [&](int symbol) {
        std::uint32_t node = tree.parent[symbol + LeafBase];
        std::uint32_t code = 0;
        unsigned size = 0;
        while (node != Root) {
            const std::uint32_t up = tree.parent[node];
            code |= static_cast<std::uint32_t>(node - tree.child[up]) << size++;
            node = up;
        }
        put(code, size);
        tree.Update(symbol);
    };
    auto hash = [&](std::size_t at) {
        return ((data[at] << 16 | data[at + 1] << 8 | data[at + 2]) * 2654435761u) >> 16;
    };
    const std::size_t end = RingStart + text.size();
    std::size_t inserted = 0;
    for (std::size_t at = RingStart; at < end;) {
        for (; inserted < at; ++inserted) {
            const auto h = hash(inserted);
            previous[inserted] = head[h];
            head[h] = static_cast<std::int64_t>(inserted);
        }
        const int limit = static_cast<int>(std::min<std::size_t>(MaxMatch, end - at));
        int best = 0;
        std::size_t distance = 0;
        for (std::int64_t c = head[hash(at)]; c >= 0 && at - static_cast<std::size_t>(c) <= RingSize;
             c = previous[static_cast<std::size_t>(c)]) {
            int l = 0;
            while (l < limit && data[c + l] == data[at + l]) ++l;
            if (l > best) {
                best = l;
                distance = at - static_cast<std::size_t>(c);
                if (l == limit) break;
            }
        }
        if (best >= MinMatch) {
            putSymbol(FirstLengthSymbol + best - MinMatch);
            const unsigned p = static_cast<unsigned>(distance - 1), u = p >> 6;
            put((std::uint32_t{Positions.code[u]} << 6) | (p & 63), Positions.length[u] + 6u);
            at += static_cast<std::size_t>(best);
        } else {
            putSymbol(data[at]);
            ++at;
        }
    }
    if (count > 0) put(0, 8 - count);
    return out;
}

}  // namespace kd::bench
