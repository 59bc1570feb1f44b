// The package encoder: hash-chain match finding over the 4096-byte window and
// an optimal parse of each block, priced with the adaptive code as it stands
// at the start of the block.
#include "codec/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "codec/adaptive_tree.h"

namespace kd::codec {

namespace {

// CommonLength finds the first differing byte from the lowest set bit.
static_assert(std::endian::native == std::endian::little,
              "the match finder assumes a little-endian machine");

constexpr int HashBits = 16;
constexpr int ChainDepth = 48;        // candidates looked at per position
constexpr int BlockLength = 8192;     // positions parsed per price snapshot
constexpr std::size_t History = RingSize + 64;
constexpr std::size_t Chunk = std::size_t{1} << 18;
constexpr std::size_t Pad = 32;       // readable bytes past the data, for word compares
constexpr std::uint32_t Unreachable = 0xFFFFFFFF;

inline std::uint32_t Hash3(const unsigned char* data) {
    const std::uint32_t key = (std::uint32_t{data[0]} << 16) | (std::uint32_t{data[1]} << 8) | data[2];
    return (key * 2654435761u) >> (32 - HashBits);
}

// Bytes in common at the start of a and b, at most `limit` (at most 10).
inline int CommonLength(const unsigned char* a, const unsigned char* b, int limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    int length;
    if (x != y) {
        length = __builtin_ctzll(x ^ y) >> 3;  // little-endian: first differing byte
    } else {
        length = 8;
        while (length < limit && a[length] == b[length]) ++length;
    }
    return length < limit ? length : limit;
}

inline int PositionBits(unsigned position) { return Positions.length[position >> 6] + 6; }

}  // namespace

struct PackageEncoder::State {
    AdaptiveTree tree;
    // Text as a straight buffer of virtual positions: RingStart spaces (the
    // decoder's pre-filled ring) and then the text, so that a match into the
    // pre-fill is found like any other.
    std::vector<unsigned char> buffer = std::vector<unsigned char>(History + Chunk + Pad);
    std::uint64_t base = 0;      // virtual position of buffer[0]
    std::uint64_t filled = 0;    // end of the data in the buffer
    std::uint64_t textEnd = 0;   // end of the whole text
    std::uint64_t parsed = 0;    // the text below this is encoded
    std::uint64_t inserted = 0;  // positions below this are in the chains

    std::vector<std::uint32_t> head = std::vector<std::uint32_t>(std::size_t{1} << HashBits);
    std::uint32_t chain[RingSize];  // previous position of the same hash, plus one

    std::uint32_t symbolCost[SymbolCount];
    std::uint32_t cost[BlockLength + 1];
    std::uint8_t stepLength[BlockLength + 1];
    std::uint16_t stepDistance[BlockLength + 1];
    std::uint32_t steps[BlockLength];

    std::uint64_t bitBuffer = 0;
    unsigned bitCount = 0;

    unsigned char* At(std::uint64_t position) { return buffer.data() + (position - base); }

    void Insert(std::uint64_t position) {
        std::uint32_t& first = head[Hash3(At(position))];
        chain[position & (RingSize - 1)] = first;
        first = static_cast<std::uint32_t>(position + 1);
    }

    // For every length 3..`best`, the nearest distance with a match at least
    // that long; returns `best` (below MinMatch when there is no match).
    int FindMatches(std::uint64_t position, int limit, std::uint16_t* distance) {
        const unsigned char* current = At(position);
        const std::uint64_t lowest = position > RingSize ? position - RingSize : 0;
        int best = MinMatch - 1;
        std::uint32_t candidate = head[Hash3(current)];
        for (int depth = ChainDepth; candidate != 0 && candidate - 1 >= lowest && depth > 0;
             --depth) {
            const std::uint64_t from = candidate - 1;
            const unsigned char* source = At(from);
            if (source[best] == current[best]) {
                const int length = CommonLength(source, current, limit);
                if (length > best) {
                    for (int l = best + 1; l <= length; ++l)
                        distance[l] = static_cast<std::uint16_t>(position - from);
                    best = length;
                    if (best >= limit) break;
                }
            }
            candidate = chain[from & (RingSize - 1)];
        }
        return best;
    }

    void PutBits(std::uint32_t value, unsigned count, std::string& out) {
        bitBuffer = (bitBuffer << count) | value;
        bitCount += count;
        if (bitCount >= 32) {
            bitCount -= 32;
            const auto word = static_cast<std::uint32_t>(bitBuffer >> bitCount);
            const char bytes[4] = {static_cast<char>(word >> 24), static_cast<char>(word >> 16),
                                   static_cast<char>(word >> 8), static_cast<char>(word)};
            out.append(bytes, 4);
        }
    }

    void FlushBits(std::string& out) {
        while (bitCount >= 8) {
            bitCount -= 8;
            out.push_back(static_cast<char>(bitBuffer >> bitCount));
        }
        if (bitCount > 0) out.push_back(static_cast<char>(bitBuffer << (8 - bitCount)));
        bitCount = 0;
    }

    void PutSymbol(int symbol, std::string& out) {
        std::uint32_t node = tree.parent[symbol + LeafBase];
        std::uint32_t code = 0;
        unsigned length = 0;
        while (node != Root) {
            const std::uint32_t up = tree.parent[node];
            code |= static_cast<std::uint32_t>(node - tree.child[up]) << length;
            ++length;
            node = up;
        }
        PutBits(code, length, out);
        tree.Update(symbol);
    }

    void PutPosition(unsigned position, std::string& out) {
        const unsigned high = position >> 6;
        PutBits((std::uint32_t{Positions.code[high]} << 6) | (position & 63),
                Positions.length[high] + 6u, out);
    }

    // Code lengths of the tree as it stands; a parent always has a higher
    // index than its children.
    void TakePrices() {
        std::uint8_t depth[NodeCount];
        depth[Root] = 0;
        for (int n = Root - 1; n >= 0; --n) depth[n] = depth[tree.parent[n]] + 1;
        for (int s = 0; s < SymbolCount; ++s) symbolCost[s] = depth[tree.parent[s + LeafBase]];
    }

    // Encodes the text from `start` to `end` with the cheapest sequence of
    // literals and matches at the present prices.
    void ParseBlock(std::uint64_t start, std::uint64_t end, std::string& out) {
        TakePrices();
        const int count = static_cast<int>(end - start);
        cost[0] = 0;
        for (int i = 1; i <= count; ++i) cost[i] = Unreachable;
        std::uint16_t distance[MaxMatch + 1];
        for (int i = 0; i < count; ++i) {
            const std::uint64_t position = start + i;
            while (inserted < position) Insert(inserted++);
            const std::uint32_t here = cost[i];
            const std::uint32_t literal = here + symbolCost[*At(position)];
            if (literal < cost[i + 1]) {
                cost[i + 1] = literal;
                stepLength[i + 1] = 1;
            }
            const int limit = count - i < MaxMatch ? count - i : MaxMatch;
            if (limit < MinMatch) continue;
            const int best = FindMatches(position, limit, distance);
            for (int l = MinMatch; l <= best; ++l) {
                const std::uint32_t match = here + symbolCost[FirstLengthSymbol + l - MinMatch] +
                                            PositionBits(distance[l] - 1u);
                if (match < cost[i + l]) {
                    cost[i + l] = match;
                    stepLength[i + l] = static_cast<std::uint8_t>(l);
                    stepDistance[i + l] = distance[l];
                }
            }
        }
        int stepCount = 0;
        for (int i = count; i > 0; i -= stepLength[i]) steps[stepCount++] = static_cast<std::uint32_t>(i);
        while (stepCount > 0) {
            const int i = static_cast<int>(steps[--stepCount]);
            const int length = stepLength[i];
            if (length == 1) {
                PutSymbol(*At(start + i - 1), out);
            } else {
                PutSymbol(FirstLengthSymbol + length - MinMatch, out);
                PutPosition(stepDistance[i] - 1u, out);
            }
        }
    }

    // Parses every block whose bytes (and the two after it, for hashing) are
    // in; at the end of the text, everything.
    void Parse(std::string& out) {
        while (parsed < textEnd) {
            std::uint64_t end = parsed + BlockLength;
            if (end > textEnd) end = textEnd;
            if (filled < textEnd && end + 2 > filled) break;
            ParseBlock(parsed, end, out);
            parsed = end;
        }
    }

    // Drops what is too far back to be matched, to make room for more text.
    void Compact() {
        std::uint64_t keep = parsed > History ? parsed - History : 0;
        if (keep > inserted) keep = inserted;
        if (keep <= base) return;
        std::memmove(buffer.data(), At(keep), static_cast<std::size_t>(filled - keep));
        base = keep;
    }
};

PackageEncoder::PackageEncoder() = default;
PackageEncoder::~PackageEncoder() = default;

bool PackageEncoder::Begin(std::uint64_t length) {
    if (length == 0 || length > MaxTextLength) return false;
    if (!state) state = std::make_unique<State>();
    State& s = *state;
    s.tree.Init();
    std::memset(s.buffer.data(), ' ', RingStart);
    s.base = 0;
    s.filled = RingStart;
    s.textEnd = RingStart + length;
    s.parsed = RingStart;
    s.inserted = 0;
    std::fill(s.head.begin(), s.head.end(), 0u);
    s.bitBuffer = 0;
    s.bitCount = 0;
    const char header[4] = {static_cast<char>(length), static_cast<char>(length >> 8),
                            static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
    output.append(header, 4);
    return true;
}

bool PackageEncoder::Write(const void* data, std::size_t size) {
    if (!state) return false;
    State& s = *state;
    if (size > s.textEnd - s.filled) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        std::size_t room = s.buffer.size() - Pad - static_cast<std::size_t>(s.filled - s.base);
        if (room == 0) {
            s.Parse(output);
            s.Compact();
            room = s.buffer.size() - Pad - static_cast<std::size_t>(s.filled - s.base);
        }
        const std::size_t take = size < room ? size : room;
        std::memcpy(s.At(s.filled), bytes, take);
        s.filled += take;
        bytes += take;
        size -= take;
    }
    return true;
}

bool PackageEncoder::Finish() {
    if (!state || state->filled != state->textEnd) return false;
    state->Parse(output);
    state->FlushBits(output);
    return true;
}

bool PackageEncoder::Encode(std::string_view text, std::string& container) {
    output.clear();
    if (!Begin(text.size())) return false;
    output.reserve(text.size() / 3 + 64);
    if (!Write(text.data(), text.size()) || !Finish()) return false;
    container.swap(output);
    output.clear();
    return true;
}

EncodeResult PackageEncoder::EncodeStream(std::string_view prefix, util::ByteSource& input,
                                          std::uint64_t inputSize, util::ByteSink& result,
                                          EncodeObserver* observer) {
    const std::uint64_t total = prefix.size() + inputSize;
    output.clear();
    if (!Begin(total)) return EncodeResult::BadLength;

    auto drain = [&] {
        if (observer) observer->Written(output.data(), output.size());
        const bool ok = result.Write(reinterpret_cast<const unsigned char*>(output.data()), output.size());
        output.clear();
        return ok;
    };
    if (!Write(prefix.data(), prefix.size())) return EncodeResult::ReadFailed;
    std::vector<unsigned char> block(1 << 16);
    std::uint64_t done = prefix.size();
    for (std::uint64_t left = total - done; left > 0;) {
        const std::size_t want = left < block.size() ? static_cast<std::size_t>(left) : block.size();
        if (input.Read(block.data(), want) != want) return EncodeResult::ReadFailed;
        if (!Write(block.data(), want)) return EncodeResult::ReadFailed;
        left -= want;
        done += want;
        if (observer) observer->Progress(done, total);
        if (output.size() >= block.size() && !drain()) return EncodeResult::WriteFailed;
    }
    unsigned char more;
    if (input.Read(&more, 1) != 0 || input.Failed()) return EncodeResult::ReadFailed;  // it grew meanwhile
    if (!Finish()) return EncodeResult::ReadFailed;
    if (!drain() || !result.Flush()) return EncodeResult::WriteFailed;
    return EncodeResult::Ok;
}

}  // namespace kd::codec
