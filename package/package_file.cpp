// The decoder between a package file and a newly made script file.
#include "package/package_file.h"

#include <utility>

#include "codec/decoder.h"
#include "platform/platform.h"
#include "util/files.h"

namespace kd {

int DecompressPackageFile(const char* packagePath, const char* scriptPath,
                          std::uint32_t outputLimit, ByteSink* observer) {
    Stream input = OpenFileShared(packagePath, "rb");
    if (!input) return codec::DecodeCannotOpen;
    // Made new: whatever stood at the name (a crash's leftover, a planted
    // link) is removed as a name and never written through.
    Stream output = CreateFreshFile(scriptPath);
    if (!output) return codec::DecodeCannotOpen;
    StreamSource source(input.get());
    StreamSink sink(output.get(), observer);
    codec::PackageDecoder decoder;
    int result = decoder.Decode(source, sink, outputLimit);
    // The last block may still sit in the stream's buffer: a failure to get
    // it to the file is a failed write, not a silent loss at close.
    if (!sink.Flush() && result == codec::DecodeOk) result = codec::DecodeWriteFailed;
    // Closing can still fail (a network share reports its write errors
    // here): the output is only whole when the close succeeded.
    if (platform::CloseStream(std::move(output)) != 0 && result == codec::DecodeOk) {
        result = codec::DecodeWriteFailed;
    }
    return result;
}

}  // namespace kd
