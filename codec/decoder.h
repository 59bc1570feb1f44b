// PackageDecoder: turns a compressed package container from a byte source
// into its plain text in a byte sink. It opens no file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "codec/adaptive_tree.h"
#include "util/byte_stream.h"

namespace kd::codec {

// Results of Decode. The numbers are fixed (1 is kdpack's DecodeCannotOpen);
// callers treat every non-zero result as a failure.
constexpr int DecodeOk = 0;           // the text was written to the sink
constexpr int DecodeNoHeader = 143;   // fewer than 4 bytes: no declared length
constexpr int DecodeZeroLength = 117; // the declared length is 0
constexpr int DecodeWriteFailed = 145;// a byte could not be written to the sink
constexpr int DecodeTruncated = 146;  // the stream ended before the declared length was reached:
                                      // a symbol needed bits beyond the last input byte. What was
                                      // decoded before that symbol has been written.

class PackageDecoder {
public:
    // Decompresses the container read from `input` to its end into `sink`,
    // in blocks; false from the sink stops decoding with DecodeWriteFailed.
    // A failed read counts as the end of the input. outputLimit 0 means none;
    // otherwise decoding stops after the symbol that brings the output to the
    // limit. Returns a result above; the sink is not flushed.
    int Decode(util::ByteSource& input, util::ByteSink& sink, std::uint32_t outputLimit);
    // The same from a container in memory.
    int Decode(std::string_view container, util::ByteSink& sink, std::uint32_t outputLimit);

    // Of the last call: the length in the header (0 when none was read) and
    // the bytes written, which may pass the declared length by the rest of
    // the last match in a stream that was not made by the encoding rules.
    std::uint32_t DeclaredLength() const { return declaredLength; }
    std::uint64_t OutputCount() const { return outputCount; }

private:
    static constexpr std::size_t InputSize = 16384;
    static constexpr std::size_t BlockSize = 32768;
    static constexpr std::size_t Slack = 32;  // room for whole-word loads and copies

    int Run(util::ByteSink& sink, std::uint32_t outputLimit);
    // Moves unread input to the front of the buffer and reads more; after the
    // end of input the buffer is topped up with zero bytes.
    void FillInput();

    AdaptiveTree tree;
    // The ring as a straight buffer: RingSize bytes of history, then the block
    // being decoded. A full block is written out and its last RingSize bytes
    // become the history, so copies need no wrap-around.
    unsigned char window[RingSize + BlockSize + Slack];
    unsigned char input[InputSize + Slack];

    util::ByteSource* source = nullptr;
    const unsigned char* inputNext = nullptr;  // next unread byte
    const unsigned char* inputEnd = nullptr;   // end of the bytes in the buffer
    std::uint64_t inputBase = 0;   // stream offset (after the header) of input[0]
    std::uint64_t inputReal = 0;   // real stream bytes read so far
    bool inputEnded = false;

    std::uint32_t declaredLength = 0;
    std::uint64_t outputCount = 0;
};

}  // namespace kd::codec
