// Guarantees: the decoder never crashes, never reads or writes out of bounds
// and never writes past its output limit (plus the rest of one match), on any
// input; a result is one of its documented codes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/decoder.h"
#include "fuzz/fuzz_checks.h"

namespace kd::fuzz {

namespace {

class CountingSink : public util::ByteSink {
public:
    bool Write(const unsigned char*, std::size_t size) override {
        total += size;
        return true;
    }
    std::size_t total = 0;
};

}  // namespace

std::string CheckDecode(std::string_view input) {
    using namespace codec;
    constexpr std::uint32_t Limit = 1 << 20;
    static PackageDecoder decoder;
    CountingSink sink;
    const int result = decoder.Decode(input, sink, Limit);
    if (result != DecodeOk && result != DecodeNoHeader && result != DecodeZeroLength &&
        result != DecodeTruncated)
        return "undocumented result " + std::to_string(result);
    if (sink.total > Limit + 9) return "wrote past the limit: " + std::to_string(sink.total);
    if (sink.total != decoder.OutputCount()) return "output count differs from the bytes written";
    return {};
}

}  // namespace kd::fuzz
