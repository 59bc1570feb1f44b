// Guarantees: whatever the text, the encoder's container decodes back to the
// same text exactly, with result 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "codec/decoder.h"
#include "codec/encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static kd::PackageEncoder encoder;
    static kd::PackageDecoder decoder;
    std::string container;
    if (!encoder.Encode(text, container)) std::abort();
    kd::StringSink sink;
    if (decoder.Decode(container, sink, 0) != kd::DecodeOk || sink.text != text) std::abort();
    return 0;
}
