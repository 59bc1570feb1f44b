// The package decoder: a bit reader over a block buffer, the adaptive
// literal/length code, the position code and the match copy.
#include "codec/decoder.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace kd::codec {

namespace {

// The bit reader loads eight bytes and swaps them into reading order.
static_assert(std::endian::native == std::endian::little,
              "the bit reader assumes a little-endian machine");

inline std::uint64_t LoadBig64(const unsigned char* data) {
    std::uint64_t value;
    std::memcpy(&value, data, sizeof value);
    return __builtin_bswap64(value);
}

constexpr std::uint32_t Padding[8] = {
    ScratchWeight,     ScratchWeight + 1, ScratchWeight + 2,
    ScratchWeight + 3, ScratchWeight + 4, ScratchWeight + 5,
    ScratchWeight + 6, ScratchWeight + 7};

}  // namespace

int PackageDecoder::Decode(util::ByteSource& input, util::ByteSink& sink, std::uint32_t outputLimit) {
    source = &input;
    const int result = Run(sink, outputLimit);
    source = nullptr;  // the source may not outlive the call
    return result;
}

int PackageDecoder::Decode(std::string_view container, util::ByteSink& sink, std::uint32_t outputLimit) {
    util::MemorySource input(container);
    return Decode(input, sink, outputLimit);
}

void PackageDecoder::FillInput() {
    const std::size_t rest = static_cast<std::size_t>(inputEnd - inputNext);
    std::memmove(input, inputNext, rest);
    inputBase += static_cast<std::uint64_t>(inputNext - input);
    unsigned char* end = input + rest;
    unsigned char* const limit = input + InputSize;
    while (!inputEnded && end < limit) {
        // A failed read counts as the end of input.
        const std::size_t got = source->Read(end, static_cast<std::size_t>(limit - end));
        if (got == 0) inputEnded = true;
        end += got;
        inputReal += got;
    }
    if (inputEnded) {
        // Zero bits past the end keep the bit reader simple; whether a symbol
        // used any of them is checked after each symbol.
        std::memset(end, 0, static_cast<std::size_t>(limit - end));
        end = limit;
    }
    inputNext = input;
    inputEnd = end;
}

int PackageDecoder::Run(util::ByteSink& sink, std::uint32_t outputLimit) {
    declaredLength = 0;
    outputCount = 0;
    inputBase = 0;
    inputReal = 0;
    inputEnded = false;

    unsigned char header[4];
    std::size_t got = 0;
    while (got < sizeof header) {
        const std::size_t n = source->Read(header + got, sizeof header - got);
        if (n == 0) break;
        got += n;
    }
    if (got < sizeof header) return DecodeNoHeader;
    declaredLength = header[0] | (header[1] << 8) | (header[2] << 16) |
                     (static_cast<std::uint32_t>(header[3]) << 24);
    if (declaredLength == 0) return DecodeZeroLength;

    inputNext = inputEnd = input;
    FillInput();
    tree.Init();
    // The whole history starts as spaces; the last ten ring cells, which the
    // first ten output bytes overwrite, are never read before that by a
    // sound stream.
    std::memset(window, ' ', RingSize);

    const std::uint64_t stopAt =
        outputLimit != 0 && outputLimit < declaredLength ? outputLimit : declaredLength;
    unsigned char* const blockStart = window + RingSize;
    unsigned char* const blockEnd = blockStart + BlockSize;
    std::uint64_t written = 0;  // bytes handed to the sink
    auto nextCheck = [&] {
        const std::uint64_t left = stopAt - written;
        return left < BlockSize ? blockStart + left : blockEnd;
    };
    unsigned char* out = blockStart;
    unsigned char* check = nextCheck();

    // Unread bits are left-aligned in `bits`; `count` of them are valid.
    // Each refill tops the buffer up to 56..63 bits, which covers the
    // longest symbol (the tree never grows deeper than about 22 levels under
    // the rebuild limit) plus a position.
    const unsigned char* next = inputNext;
    std::uint64_t bits = 0;
    unsigned count = 0;
    auto overran = [&] {
        const std::uint64_t used =
            (inputBase + static_cast<std::uint64_t>(next - input)) * 8 - count;
        return used > inputReal * 8;
    };

    const std::uint32_t* const child = tree.child;
    std::uint32_t* const weight = tree.weight;
    // Nodes of the current symbol's code, from below the root down. Counts
    // under the rebuild limit keep the tree under about 25 levels.
    std::uint32_t path[64];
    int result = DecodeOk;
    for (;;) {
        if (inputEnd - next < 8) {
            inputNext = next;
            FillInput();
            next = inputNext;
        }
        bits |= LoadBig64(next) >> count;
        next += (63 - count) >> 3;
        count |= 56;

        int symbol;
        if (weight[Root] != RebuildLimit) [[likely]] {
            // On the way down, note the lowest node whose count equals the
            // next node's: counting it needs a swap, which changes the path
            // above it. Below that node the counts go up in place, and the
            // climb does the rest. Children have lower indices than their
            // parents, so those equalities are the ones the climb would see.
            // Path entries past the code name spare cells, so that a short
            // path is counted without a loop whose exit mispredicts.
            std::memcpy(path, Padding, sizeof Padding);
            std::size_t node = child[Root];
            unsigned depth = 0;
            unsigned swapAt = ~0u;
            for (;;) {
                const std::size_t index = node + static_cast<std::size_t>(bits >> 63);
                bits <<= 1;
                assert(depth < sizeof path / sizeof path[0]);
                path[depth] = static_cast<std::uint32_t>(index);
                swapAt = weight[index] == weight[index + 1] ? depth : swapAt;
                ++depth;
                node = child[index];
                if (node >= LeafBase) break;
            }
            count -= depth;
            symbol = static_cast<int>(node - LeafBase);
            if (swapAt == ~0u) {
#pragma GCC unroll 8
                for (unsigned d = 0; d < 8; ++d) ++weight[path[d]];
                for (unsigned d = 8; d < depth; ++d) ++weight[path[d]];
                ++weight[Root];
            } else {
                for (unsigned d = swapAt + 1; d < depth; ++d) ++weight[path[d]];
                tree.Climb(path[swapAt]);
            }
        } else {
            std::size_t node = child[Root];
            do {
                node = child[node + static_cast<std::size_t>(bits >> 63)];
                bits <<= 1;
                --count;
            } while (node < LeafBase);
            symbol = static_cast<int>(node - LeafBase);
            tree.Update(symbol);
        }

        if (symbol < FirstLengthSymbol) {
            if (inputEnded && overran()) {
                result = DecodeTruncated;
                break;
            }
            *out++ = static_cast<unsigned char>(symbol);
        } else {
            const unsigned top = static_cast<unsigned>(bits >> 56);
            const unsigned codeLength = Positions.bits[top];
            const unsigned position =
                (static_cast<unsigned>(Positions.high[top]) << 6) |
                static_cast<unsigned>((bits >> (58 - codeLength)) & 63);
            bits <<= codeLength + 6;
            count -= codeLength + 6;
            if (inputEnded && overran()) {
                result = DecodeTruncated;
                break;
            }
            const int length = symbol - (FirstLengthSymbol - MinMatch);
            const unsigned char* from = out - position - 1;
            if (position >= 7) {
                // Source at least 8 bytes back: two word copies, the second
                // reading what the first may have written, cover any length.
                std::memcpy(out, from, 8);
                std::memcpy(out + 8, from + 8, 8);
            } else {
                for (int k = 0; k < length; ++k) out[k] = from[k];
            }
            out += length;
        }

        if (out >= check) {
            if (written + static_cast<std::uint64_t>(out - blockStart) >= stopAt) break;
            const std::size_t size = static_cast<std::size_t>(out - blockStart);
            if (!sink.Write(blockStart, size)) {
                outputCount = written;
                return DecodeWriteFailed;
            }
            written += size;
            std::memmove(window, out - RingSize, RingSize);
            out = blockStart;
            check = nextCheck();
        }
    }

    const std::size_t pending = static_cast<std::size_t>(out - blockStart);
    if (pending != 0 && !sink.Write(blockStart, pending)) {
        outputCount = written;
        return DecodeWriteFailed;
    }
    outputCount = written + pending;
    return result;
}

}  // namespace kd::codec
