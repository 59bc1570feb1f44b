// kdpack compress and decompress: a script to a container and back, each
// written through a temporary file that replaces the target when finished.
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "script/format.h"
#include "script/line2.h"
#include "tools/kdpack/commands.h"
#include "tools/kdpack/kdpack.h"
#include "util/files.h"

namespace kd::kdpack {

namespace {

// Hashes and counts the container, and shows the progress.
class CompressObserver : public codec::EncodeObserver {
public:
    CompressObserver(Io& io, std::uint64_t total) : progress(io, "compressing", total) {}
    void Written(const char* data, std::size_t size) override {
        hash.Update(data, size);
        bytes += size;
    }
    void Progress(std::uint64_t done, std::uint64_t) override { progress.Show(done); }

    platform::Sha256 hash;
    std::uint64_t bytes = 0;

private:
    kdpack::Progress progress;
};

}  // namespace

bool CompressStream(Io& io, std::string_view prefix, std::FILE* input, std::FILE* output,
                    const std::string& inputName, Compressed& compressed) {
    const std::int64_t remaining = util::StreamSize(input);
    if (remaining < 0) {
        Fail(io, "cannot read %s", inputName.c_str());
        return false;
    }
    compressed.textBytes = prefix.size() + static_cast<std::uint64_t>(remaining);
    CompressObserver observer(io, compressed.textBytes);
    codec::PackageEncoder encoder;
    util::StreamSource source(input);
    util::StreamSink sink(output);
    using codec::EncodeResult;
    switch (encoder.EncodeStream(prefix, source, static_cast<std::uint64_t>(remaining), sink, &observer)) {
    case EncodeResult::Ok:
        break;
    case EncodeResult::BadLength:
        Fail(io, "%s: %s", inputName.c_str(),
             compressed.textBytes == 0 ? "nothing to compress: the input is empty"
                                       : ("the input is larger than " + InGiB(codec::MaxTextLength)).c_str());
        return false;
    case EncodeResult::WriteFailed:
        Fail(io, "%s: the package cannot be written", inputName.c_str());
        return false;
    default:
        Fail(io, "%s: the input could not be read to its end, or changed while it was read",
             inputName.c_str());
        return false;
    }
    unsigned char digest[script::DigestSize];
    if (!observer.hash.Finish(digest)) {
        Fail(io, "cannot compute the SHA-256 of the package");
        return false;
    }
    compressed.packageBytes = observer.bytes;
    compressed.packageDigest = script::Hex(digest, sizeof digest);
    return true;
}

int Compress(Io& io, const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage(io, CompressHelp, "compress needs SCRIPT and OUT.pkg");
    const std::string& target = args[1];
    platform::Stream input = util::OpenFileShared(args[0].c_str(), "rb");
    if (!input) {
        Fail(io, "cannot read %s", args[0].c_str());
        return KdpackFailed;
    }
    Compressed compressed;
    const bool written = WriteReplacing(io, target, [&](std::FILE* output) {
        return CompressStream(io, {}, input.get(), output, args[0], compressed);
    });
    if (!written) return KdpackFailed;
    std::fprintf(io.out, "%s: %llu bytes -> %llu bytes (%.3f)\n", target.c_str(),
                 static_cast<unsigned long long>(compressed.textBytes),
                 static_cast<unsigned long long>(compressed.packageBytes),
                 static_cast<double>(compressed.packageBytes) / static_cast<double>(compressed.textBytes));
    std::fprintf(io.out, "sha256 %s  %s\n", compressed.packageDigest.c_str(), target.c_str());
    return KdpackOk;
}

int Decompress(Io& io, const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage(io, DecompressHelp, "decompress needs PKG and OUT");
    platform::Stream input = util::OpenFileShared(args[0].c_str(), "rb");
    if (!input) {
        Fail(io, "cannot decompress %s: %s (result %d)", args[0].c_str(), DecodeMeaning(DecodeCannotOpen),
             DecodeCannotOpen);
        return KdpackFailed;
    }
    const bool written = WriteReplacing(io, args[1], [&](std::FILE* output) {
        ProgressSource source(io, "decompressing", input.get());
        util::StreamSink sink(output);
        codec::PackageDecoder decoder;
        const int result = decoder.Decode(source, sink, 0);
        if (result == codec::DecodeOk) return true;
        Fail(io, "cannot decompress %s: %s (result %d)", args[0].c_str(), DecodeMeaning(result), result);
        return false;
    });
    return written ? KdpackOk : KdpackFailed;
}

}  // namespace kd::kdpack
