// PackageDecoder: turns a compressed package container into its plain text.
#pragma once

#include <cstdint>

namespace kd {

// Results of Decode. The numbers are fixed; callers treat every non-zero
// result as a failure.
constexpr int DecodeOk = 0;           // the text was written to the output file
constexpr int DecodeCannotOpen = 1;   // input cannot be opened or output not created
constexpr int DecodeNoHeader = 143;   // fewer than 4 bytes: no declared length
constexpr int DecodeZeroLength = 117; // the declared length is 0
constexpr int DecodeWriteFailed = 145;// a byte could not be written to the output
constexpr int DecodeTruncated = 146;  // the stream ended before the declared length was reached

class PackageDecoder {
public:
    // Decompresses the container at inputPath into outputPath (created or
    // truncated). outputLimit 0 means none; otherwise decoding stops after
    // the symbol that brings the output to the limit. Returns a result above;
    // both files are closed on every path and the output is never deleted.
    int Decode(const char* inputPath, const char* outputPath, std::uint32_t outputLimit);
};

}  // namespace kd
