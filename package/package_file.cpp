// The decoder between a package file and a newly made script file.
#include "package/package_file.h"

#include <utility>

#include "codec/decoder.h"
#include "platform/platform.h"
#include "util/files.h"

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

int DecompressPackageFile(const char* packagePath, const char* scriptPath,
                          std::uint32_t outputLimit, util::ByteSink* observer) {
    platform::Stream input = util::OpenFileShared(packagePath, "rb");
    if (!input) return codec::DecodeCannotOpen;
    // Made new: whatever stood at the name (a crash's leftover, a planted
    // link) is removed as a name and never written through.
    platform::Stream output = util::CreateFreshFile(scriptPath);
    if (!output) return codec::DecodeCannotOpen;
    int result = DecompressPackageStream(input.get(), output.get(), outputLimit, observer);
    // Closing can still fail (a network share reports its write errors
    // here): the output is only whole when the close succeeded.
    if (platform::CloseStream(std::move(output)) != 0 && result == codec::DecodeOk) {
        result = codec::DecodeWriteFailed;
    }
    return result;
}

}  // namespace kd::package
