// kdpack key new and sign, and the private-key handling pack --sign shares
// with them. A package is never written unsigned where a signed one was asked
// for: every key problem stops the command before its output is touched.
#include <algorithm>
#include <cstring>

#include "codec/decoder.h"
#include "script/format.h"
#include "script/line2.h"
#include "tools/kdpack/commands.h"
#include "tools/kdpack/kdpack.h"
#include "util/byte_stream.h"
#include "util/files.h"

namespace kd::kdpack {

namespace {

constexpr char Unavailable[] = "signing is not available in this build: use the Linux build or openssl";

// Says why a private-key operation failed; `keyPath` names the key file.
void KeyFailure(Io& io, platform::KeyResult result, const std::string& keyPath) {
    switch (result) {
    case platform::KeyResult::Unavailable:
        Fail(io, "%s", Unavailable);
        break;
    case platform::KeyResult::Encrypted:
        Fail(io, "%s is encrypted, and kdpack asks for no pass phrase: sign with a key stored without one",
             keyPath.c_str());
        break;
    case platform::KeyResult::NotAKey:
        Fail(io, "%s holds no P-256 private key in PEM", keyPath.c_str());
        break;
    default:
        Fail(io, "cannot sign with %s", keyPath.c_str());
        break;
    }
}

// Writes `text` to a file created new, never over an existing name.
bool WriteNewFile(Io& io, const std::string& path, const std::string& text, bool ownerOnly) {
    platform::OpenMode mode{platform::Access::Write, platform::Disposition::CreateNew};
    mode.ownerOnly = ownerOnly;
    platform::Error error = platform::Error::None;
    platform::Stream stream = platform::OpenShared(path.c_str(), mode, error);
    if (!stream) {
        Fail(io, error == platform::Error::AlreadyExists ? "%s exists: kdpack writes a key only to a new file"
                                                         : "cannot create %s",
             path.c_str());
        return false;
    }
    const bool written = platform::WriteBytes(stream.get(), text.data(), text.size()) == text.size();
    if (platform::CloseStream(std::move(stream)) != 0 || !written) {
        Fail(io, "cannot write %s", path.c_str());
        util::RemoveFile(path.c_str());
        return false;
    }
    return true;
}

// Keeps lines 1 and 2 of a decoded script, writes every byte after them to
// `body`, and lets the digest watcher see all of it.
class SplitSink : public util::ByteSink {
public:
    explicit SplitSink(std::FILE* body) : body(body) {}
    bool Write(const unsigned char* data, std::size_t size) override {
        watcher.Write(data, size);
        while (lines < 2 && size > 0) {
            const std::size_t taken = splitter.Take(data, size);
            data += taken;
            size -= taken;
            if (!splitter.Complete()) break;
            head[lines++] = splitter.Piece();
            splitter.Clear();
        }
        return size == 0 || platform::WriteBytes(body, data, size) == size;
    }

    script::DigestWatcher watcher;
    std::string head[2];  // as read, line ends included

private:
    std::FILE* body;
    script::LineSplitter splitter;
    int lines = 0;
};

}  // namespace

bool ReadSigningKey(Io& io, const std::string& keyPath, std::string& pem) {
    // Asked first, so that a build without private keys says so whatever the file.
    const unsigned char probe[script::DigestSize] = {};
    unsigned char signature[script::SignatureSize];
    if (platform::SignDigest("", probe, signature) == platform::KeyResult::Unavailable) {
        KeyFailure(io, platform::KeyResult::Unavailable, keyPath);
        return false;
    }
    if (!ReadKeyFile(keyPath, pem)) {
        Fail(io, "cannot read %s", keyPath.c_str());
        return false;
    }
    // A trial signature finds a bad key before any output is made.
    return SignWithKey(io, pem, keyPath, probe, signature);
}

bool SignWithKey(Io& io, const std::string& pem, const std::string& keyPath,
                 const unsigned char (&digest)[script::DigestSize],
                 unsigned char (&signature)[script::SignatureSize]) {
    const platform::KeyResult result = platform::SignDigest(pem, digest, signature);
    if (result != platform::KeyResult::Ok) KeyFailure(io, result, keyPath);
    return result == platform::KeyResult::Ok;
}

int Key(Io& io, const std::vector<std::string>& args) {
    if (args.size() != 3 || args[0] != "new") return Usage(io, KeyHelp, "key needs new PRIVATE.pem PUBLIC.pem");
    const std::string& privatePath = args[1];
    const std::string& publicPath = args[2];
    for (const std::string* path : {&privatePath, &publicPath}) {
        if (util::PathExists(path->c_str())) {
            Fail(io, "%s exists: kdpack writes a key only to a new file", path->c_str());
            return KdpackFailed;
        }
    }
    std::string privatePem;
    std::string publicPem;
    const platform::KeyResult made = platform::NewKeyPair(privatePem, publicPem);
    platform::PublicKey key;
    if (made != platform::KeyResult::Ok || !key.Load(publicPem)) {
        KeyFailure(io, made == platform::KeyResult::Ok ? platform::KeyResult::Failed : made, privatePath);
        return KdpackFailed;
    }
    const bool written = WriteNewFile(io, privatePath, privatePem, true);
    std::fill(privatePem.begin(), privatePem.end(), '\0');
    if (!written) return KdpackFailed;
    if (!WriteNewFile(io, publicPath, publicPem, false)) {
        util::RemoveFile(privatePath.c_str());
        return KdpackFailed;
    }
    std::fprintf(io.out, "%s: private key, readable by its owner only\n%s: public key %s\n",
                 privatePath.c_str(), publicPath.c_str(), script::Fingerprint(key).c_str());
    return KdpackOk;
}

int Sign(Io& io, const std::vector<std::string>& args) {
    std::vector<std::string> positional, outputs;
    const int understood = ParseArguments(io, SignHelp, args,
                                          {{"--output", "--output needs a file", &outputs}}, positional);
    if (understood >= 0) return understood;
    const std::string output = outputs.empty() ? std::string() : outputs.back();
    if (positional.size() != 2) return Usage(io, SignHelp, "sign needs PKG and PRIVATE.pem");
    const std::string& package = positional[0];
    const std::string& keyPath = positional[1];
    const std::string target = output.empty() ? package : output;
    std::string pem;
    if (!ReadSigningKey(io, keyPath, pem)) return KdpackFailed;

    platform::Stream input = util::OpenFileShared(package.c_str(), "rb");
    if (!input) {
        Fail(io, "cannot open %s", package.c_str());
        return KdpackFailed;
    }
    util::TemporaryFile body(target + BodySuffix, KdpackInterrupted);
    if (!CreateTemporary(io, body)) return KdpackFailed;
    SplitSink sink(body.Stream());
    ProgressSource source(io, "reading", input.get());
    codec::PackageDecoder decoder;
    const int result = decoder.Decode(source, sink, 0);
    input.reset();
    if (result != codec::DecodeOk) {
        Fail(io, "cannot decompress %s: %s (result %d)", package.c_str(), DecodeMeaning(result), result);
        return KdpackFailed;
    }
    if (!CloseTemporary(io, body)) return KdpackFailed;
    if (!sink.watcher.HasDigest() || !script::IsHeader(sink.head[0])) {
        Fail(io, "%s has no kdpack digest: pack it again", package.c_str());
        return KdpackFailed;
    }
    if (!sink.watcher.Matches()) {
        Fail(io, "%s: the digest on line 2 does not match the script: pack it again", package.c_str());
        return KdpackFailed;
    }
    const unsigned char (&digest)[script::DigestSize] = sink.watcher.Line().digest;
    unsigned char signature[script::SignatureSize];
    if (!SignWithKey(io, pem, keyPath, digest, signature)) return KdpackFailed;
    std::fill(pem.begin(), pem.end(), '\0');

    platform::Stream bodyInput = util::OpenFileShared(body.Path(), "rb");
    if (!bodyInput) {
        Fail(io, "cannot read %s", body.Path());
        return KdpackFailed;
    }
    // Line 1 stays as it was read; the old line 2, signed or not, is replaced.
    const std::string prefix = sink.head[0] + script::DigestLineText(digest, &signature) + "\n";
    Compressed compressed;
    const bool written = WriteReplacing(io, target, [&](std::FILE* out) {
        return CompressStream(io, prefix, bodyInput.get(), out, body.Path(), compressed);
    });
    if (!written) return KdpackFailed;
    std::fprintf(io.out, "%s: signed\nsha256 %s  %s\n", target.c_str(), compressed.packageDigest.c_str(),
                 target.c_str());
    return KdpackOk;
}

}  // namespace kd::kdpack
