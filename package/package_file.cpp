// The decoder between a package stream and the script stream.
#include "package/package_file.h"

#include "codec/decoder.h"

namespace kd::package {

int DecompressPackageStream(std::FILE* package, std::FILE* script, std::uint32_t outputLimit,
                            util::ByteSink* observer) {
    util::StreamSource source(package);
    util::StreamSink sink(script, observer);
    codec::PackageDecoder decoder;
    const int result = decoder.Decode(source, sink, outputLimit);
    // The last block may still sit in the stream's buffer: a failure to get
    // it to the file is a failed write, not a silent loss at close.
    if (!sink.Flush() && result == codec::DecodeOk) return codec::DecodeWriteFailed;
    return result;
}

}  // namespace kd::package
