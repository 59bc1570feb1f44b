// PackageEncoder: writes containers that PackageDecoder reads back exactly,
// from a byte source to a byte sink. It opens no file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/byte_stream.h"

namespace kd::codec {

// Texts of 1 byte up to this length can be packed.
constexpr std::uint64_t MaxTextLength = std::uint64_t{1} << 31;

// Results of EncodeStream.
enum class EncodeResult {
    Ok,
    BadLength,    // the input is empty or longer than MaxTextLength
    ReadFailed,   // the input could not be read to its end, or changed length
    WriteFailed,  // the output could not be written
};

// Sees a container as EncodeStream writes it.
class EncodeObserver {
public:
    virtual ~EncodeObserver() = default;
    // Container bytes, just before they are written.
    virtual void Written(const char* data, std::size_t size) = 0;
    // Text bytes compressed so far, of `total`.
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;
};

class PackageEncoder {
public:
    PackageEncoder();
    ~PackageEncoder();
    PackageEncoder(const PackageEncoder&) = delete;
    PackageEncoder& operator=(const PackageEncoder&) = delete;

    // Compresses `text` (1 byte to 2 GiB) into a whole container: the 4-byte
    // length and the bit stream. False for an empty or too long text.
    bool Encode(std::string_view text, std::string& container);

    // Compresses `prefix` followed by the `inputSize` bytes of `input` into
    // `output`, reading and writing in blocks; the input must end there (one
    // more byte is a ReadFailed: it grew). Every write and the final flush
    // are checked. Ok, or BadLength, ReadFailed, WriteFailed. The output may
    // be incomplete after a failure.
    EncodeResult EncodeStream(std::string_view prefix, util::ByteSource& input, std::uint64_t inputSize,
                              util::ByteSink& output, EncodeObserver* observer = nullptr);

    // Streaming use: Begin with the text's whole length (false for a length
    // out of range), Write the text in pieces of any size (false once more
    // than that length is given), Finish (false if less was given). Container
    // bytes collect in Output(); the caller may take and clear them at any
    // time.
    bool Begin(std::uint64_t length);
    bool Write(const void* data, std::size_t size);
    bool Finish();
    std::string& Output() { return output; }

private:
    struct State;
    std::unique_ptr<State> state;
    std::string output;
};

}  // namespace kd::codec
