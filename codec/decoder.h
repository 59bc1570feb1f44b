// PackageDecoder: turns a compressed package container into its plain text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "codec/adaptive_tree.h"

namespace kd {

// Results of Decode. The numbers are fixed; callers treat every non-zero
// result as a failure.
constexpr int DecodeOk = 0;           // the text was written to the output file
constexpr int DecodeCannotOpen = 1;   // input cannot be opened or output not created
constexpr int DecodeNoHeader = 143;   // fewer than 4 bytes: no declared length
constexpr int DecodeZeroLength = 117; // the declared length is 0
constexpr int DecodeWriteFailed = 145;// a byte could not be written to the output
constexpr int DecodeTruncated = 146;  // the stream ended before the declared length was reached:
                                      // a symbol needed bits beyond the last input byte. What was
                                      // decoded before that symbol has been written.

// Receives decoded text in blocks. False stops decoding with DecodeWriteFailed.
class DecodeSink {
public:
    virtual ~DecodeSink() = default;
    virtual bool Write(const unsigned char* data, std::size_t size) = 0;
};

// Collects the decoded text in a string.
class StringSink : public DecodeSink {
public:
    bool Write(const unsigned char* data, std::size_t size) override {
        text.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string text;
};

class PackageDecoder {
public:
    // Decompresses the container at inputPath into outputPath, made new once
    // the input is open (an existing name is removed as a name first; when it
    // cannot be, the result is DecodeCannotOpen). outputLimit 0 means none; otherwise decoding stops after
    // the symbol that brings the output to the limit. Returns a result above;
    // both files are closed on every path and the output is never deleted.
    // An observer sees every block after it was written to the file (false
    // from it stops decoding as a failed write).
    int Decode(const char* inputPath, const char* outputPath, std::uint32_t outputLimit,
               DecodeSink* observer = nullptr);

    // The same from an open stream (read from its position to its end, and
    // left open) or from a container in memory, into a sink. DecodeCannotOpen
    // is never returned by these.
    int Decode(std::FILE* input, DecodeSink& sink, std::uint32_t outputLimit);
    int Decode(std::string_view container, DecodeSink& sink, std::uint32_t outputLimit);

    // Of the last call: the length in the header (0 when none was read) and
    // the bytes written, which may pass the declared length by the rest of
    // the last match in a stream that was not made by the encoding rules.
    std::uint32_t DeclaredLength() const { return declaredLength; }
    std::uint64_t OutputCount() const { return outputCount; }

private:
    static constexpr std::size_t InputSize = 16384;
    static constexpr std::size_t BlockSize = 32768;
    static constexpr std::size_t Slack = 32;  // room for whole-word loads and copies

    int Run(DecodeSink& sink, std::uint32_t outputLimit);
    // Moves unread input to the front of the buffer and reads more; after the
    // end of input the buffer is topped up with zero bytes.
    void FillInput();
    std::size_t ReadInput(unsigned char* data, std::size_t size);

    codec::AdaptiveTree tree;
    // The ring as a straight buffer: RingSize bytes of history, then the block
    // being decoded. A full block is written out and its last RingSize bytes
    // become the history, so copies need no wrap-around.
    unsigned char window[codec::RingSize + BlockSize + Slack];
    unsigned char input[InputSize + Slack];

    std::FILE* inputStream = nullptr;
    std::string_view inputMemory;
    const unsigned char* inputNext = nullptr;  // next unread byte
    const unsigned char* inputEnd = nullptr;   // end of the bytes in the buffer
    std::uint64_t inputBase = 0;   // stream offset (after the header) of input[0]
    std::uint64_t inputReal = 0;   // real stream bytes read so far
    bool inputEnded = false;

    std::uint32_t declaredLength = 0;
    std::uint64_t outputCount = 0;
};

}  // namespace kd
