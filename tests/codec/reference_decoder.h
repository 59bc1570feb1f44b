// A plain, symbol-by-symbol decoder written straight from the format's rules:
// a 16-bit bit buffer fed one byte at a time, 16-bit tree arrays, a ring with
// modulo indexing and one output call per byte. It reads missing bytes as
// zero bits. The tests check the real decoder against it; the benchmark uses
// it as the speed baseline.
#pragma once

#include <cstdint>
#include <cstring>

namespace kd::reference {

// Source: int operator()() gives the next input byte, or -1 at the end.
// Sink: bool operator()(unsigned char) writes one byte.
// Returns 0, 143 (no header), 117 (zero length) or 145 (write failed).
template <class Source, class Sink>
int Decode(Source& source, Sink& sink, std::uint32_t limit) {
    constexpr int N = 4096, F = 10, T = 527, R = T - 1, Symbols = 264;
    std::uint16_t freq[T + 1];
    std::int16_t son[T];
    std::int16_t prnt[T + Symbols];
    unsigned char ring[N];
    std::uint16_t bitBuffer = 0;
    unsigned bitCount = 0;

    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = source();
        if (c < 0) return 143;
        length |= static_cast<std::uint32_t>(c) << (8 * i);
    }
    if (length == 0) return 117;

    auto refill = [&] {
        while (bitCount <= 8) {
            int c = source();
            if (c < 0) c = 0;
            bitBuffer = static_cast<std::uint16_t>(bitBuffer | (c << (8 - bitCount)));
            bitCount += 8;
        }
    };
    auto getBit = [&]() -> int {
        refill();
        const int bit = bitBuffer >> 15;
        bitBuffer = static_cast<std::uint16_t>(bitBuffer << 1);
        --bitCount;
        return bit;
    };
    auto getByte = [&]() -> int {
        refill();
        const int byte = bitBuffer >> 8;
        bitBuffer = static_cast<std::uint16_t>(bitBuffer << 8);
        bitCount -= 8;
        return byte;
    };

    for (int i = 0; i < Symbols; ++i) {
        freq[i] = 1;
        son[i] = static_cast<std::int16_t>(i + T);
        prnt[i + T] = static_cast<std::int16_t>(i);
    }
    for (int i = 0, j = Symbols; j <= R; i += 2, ++j) {
        freq[j] = static_cast<std::uint16_t>(freq[i] + freq[i + 1]);
        son[j] = static_cast<std::int16_t>(i);
        prnt[i] = prnt[i + 1] = static_cast<std::int16_t>(j);
    }
    freq[T] = 0xFFFF;
    prnt[R] = 0;

    auto rebuild = [&] {
        int j = 0;
        for (int i = 0; i < T; ++i) {
            if (son[i] >= T) {
                freq[j] = static_cast<std::uint16_t>((freq[i] + 1) / 2);
                son[j] = son[i];
                ++j;
            }
        }
        for (int i = 0, n = Symbols; n < T; i += 2, ++n) {
            const unsigned f = freq[i] + freq[i + 1];
            int k = n - 1;
            while (f < freq[k]) --k;
            ++k;
            for (int m = n; m > k; --m) {
                freq[m] = freq[m - 1];
                son[m] = son[m - 1];
            }
            freq[k] = static_cast<std::uint16_t>(f);
            son[k] = static_cast<std::int16_t>(i);
        }
        for (int i = 0; i < T; ++i) {
            const int k = son[i];
            prnt[k] = static_cast<std::int16_t>(i);
            if (k < T) prnt[k + 1] = static_cast<std::int16_t>(i);
        }
    };
    auto update = [&](int symbol) {
        if (freq[R] == 0x8000) rebuild();
        int c = prnt[symbol + T];
        do {
            const unsigned k = ++freq[c];
            if (k > freq[c + 1]) {
                int l = c + 1;
                while (k > freq[l + 1]) ++l;
                freq[c] = freq[l];
                freq[l] = static_cast<std::uint16_t>(k);
                const int i = son[c];
                prnt[i] = static_cast<std::int16_t>(l);
                if (i < T) prnt[i + 1] = static_cast<std::int16_t>(l);
                const int j = son[l];
                son[l] = static_cast<std::int16_t>(i);
                prnt[j] = static_cast<std::int16_t>(c);
                if (j < T) prnt[j + 1] = static_cast<std::int16_t>(c);
                son[c] = static_cast<std::int16_t>(j);
                c = l;
            }
            c = prnt[c];
        } while (c != 0);
    };

    // Position decoding tables, indexed by the next eight bits.
    unsigned char high[256], codeLengths[256];
    {
        static const int counts[] = {1, 3, 8, 12, 24, 16};
        int code = 0, u = 0;
        for (int len = 3; len <= 8; ++len, code <<= 1) {
            for (int i = 0; i < counts[len - 3]; ++i, ++u, ++code) {
                for (int index = code << (8 - len); index < (code + 1) << (8 - len); ++index) {
                    high[index] = static_cast<unsigned char>(u);
                    codeLengths[index] = static_cast<unsigned char>(len);
                }
            }
        }
    }

    std::memset(ring, ' ', N);  // the last F cells are written before they are read
    int r = N - F;
    std::uint32_t count = 0;
    for (;;) {
        int c = son[R];
        while (c < T) c = son[c + getBit()];
        c -= T;
        update(c);
        if (c < 256) {
            if (!sink(static_cast<unsigned char>(c))) return 145;
            ring[r++] = static_cast<unsigned char>(c);
            r &= N - 1;
            ++count;
        } else {
            int b = getByte();
            const int u = high[b];
            const int codeLength = codeLengths[b];
            for (int k = codeLength - 2; k > 0; --k) b = (b << 1) + getBit();
            const int position = u * 64 + (b & 63);
            const int from = (r - position - 1) & (N - 1);
            for (int k = 0; k < c - 253; ++k) {
                const unsigned char byte = ring[(from + k) & (N - 1)];
                if (!sink(byte)) return 145;
                ring[r++] = byte;
                r &= N - 1;
                ++count;
            }
        }
        if (limit != 0 && count >= limit) break;
        if (count >= length) break;
    }
    return 0;
}

}  // namespace kd::reference
