// Guarantees: whatever the text, the encoder's container decodes back to the
// same text exactly, with result 0.
#include <string>
#include <string_view>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "fuzz/fuzz_checks.h"

namespace kd::fuzz {

std::string CheckRoundTrip(std::string_view text) {
    using namespace codec;
    if (text.empty()) return {};
    static PackageEncoder encoder;
    static PackageDecoder decoder;
    std::string container;
    if (!encoder.Encode(text, container)) return "the encoder refused the text";
    util::StringSink sink;
    if (decoder.Decode(container, sink, 0) != DecodeOk) return "the container does not decode";
    if (sink.text != text) return "the text came back changed";
    return {};
}

}  // namespace kd::fuzz
