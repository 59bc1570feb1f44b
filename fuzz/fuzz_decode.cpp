// Guarantees: the decoder never crashes, never reads or writes out of bounds
// and never writes past its output limit (plus the rest of one match), on any
// input; a result is one of its documented codes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "codec/decoder.h"

namespace {

class CountingSink : public kd::DecodeSink {
public:
    bool Write(const unsigned char*, std::size_t size) override {
        total += size;
        return true;
    }
    std::size_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t Limit = 1 << 20;
    static kd::PackageDecoder decoder;
    CountingSink sink;
    const int result = decoder.Decode(
        std::string_view(reinterpret_cast<const char*>(data), size), sink, Limit);
    if (result != kd::DecodeOk && result != kd::DecodeNoHeader && result != kd::DecodeZeroLength &&
        result != kd::DecodeTruncated)
        std::abort();
    if (sink.total > Limit + 9 || sink.total != decoder.OutputCount()) std::abort();
    return 0;
}
