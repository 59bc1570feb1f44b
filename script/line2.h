// Line 2 of a package script: free text, or the digest kdpack records of
// everything after it and the signature of that digest. The installer and
// kdpack check it through these.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "script/format.h"
#include "util/byte_stream.h"

namespace kd::script {

// Line 2 of a script whose writer recorded a digest: this tag, then the
// SHA-256 of every byte after line 2 as 64 hexadecimal digits.
inline constexpr char DigestTag[] = "kdpack sha256 ";
constexpr std::size_t DigestSize = platform::Sha256::DigestSize;

// After the digest on line 2, a signature: this tag, then r and s as 128
// hexadecimal digits (platform::SignatureSize bytes).
inline constexpr char SignatureTag[] = "ecdsa-p256 ";
constexpr std::size_t SignatureSize = platform::SignatureSize;

// What follows the digest on line 2: nothing, a signature, or anything else
// (which an installer with keys refuses and one without ignores).
enum class SignatureField { None, Signature, Other };

struct DigestLine {
    bool hasDigest = false;
    unsigned char digest[DigestSize] = {};
    SignatureField field = SignatureField::None;
    unsigned char signature[SignatureSize] = {};
};

// Reads line 2 as read. Normalised, it carries a digest when it begins with
// DigestTag and 64 hexadecimal digits (either case) followed by its end or a
// blank; the rest is the signature field, a signature when it is exactly
// SignatureTag and 128 hexadecimal digits. Any other line is free text.
DigestLine ReadDigestLine(const std::string& line);

// Lower-case hexadecimal digits of `size` bytes.
std::string Hex(const unsigned char* bytes, std::size_t size);

// Line 2 as kdpack writes it (no line end): the digest, then the signature
// unless it is null.
std::string DigestLineText(const unsigned char (&digest)[DigestSize],
                           const unsigned char (*signature)[SignatureSize]);

// Lines 1 and 2 as kdpack writes them for a body with this digest (and
// signature, unless it is null).
std::string ScriptPrefix(const unsigned char (&digest)[DigestSize],
                         const unsigned char (*signature)[SignatureSize] = nullptr);

// Loads public keys in PEM as an installer built with them does. False when
// any of them is not a P-256 public key: such an installer refuses every
// package.
bool LoadKeys(std::span<const char* const> pems, std::vector<platform::PublicKey>& keys);

// The index of the key whose signature line 2 carries on its digest; -1
// when it carries none, or none of `keys` made it.
int SigningKey(const DigestLine& line, const std::vector<platform::PublicKey>& keys);

// The SHA-256 of the key's DER form in hexadecimal (empty when hashing failed).
std::string Fingerprint(const platform::PublicKey& key);

// Watches a script as it is decoded: finds where line 2 ends, reads its
// digest, and hashes every byte after it, so the digest is known when the
// decoder is done without reading the script again.
class DigestWatcher : public util::ByteSink {
public:
    bool Write(const unsigned char* data, std::size_t size) override;

    // After the whole script was written: line 2 carried a digest (also a
    // line 2 that ends the script without a line end).
    bool HasDigest() { return Line().hasDigest; }
    // After the whole script was written: line 2 as read.
    const DigestLine& Line() {
        Finish();
        return lineTwo;
    }
    // After the whole script was written: the digest on line 2 is the one
    // of the rest. False when there is none or hashing failed.
    bool Matches();

private:
    void Finish();

    LineSplitter splitter;
    int linesSeen = 0;
    DigestLine lineTwo;
    bool finished = false;
    bool hashed = false;
    unsigned char actual[DigestSize] = {};
    platform::Sha256 hash;
};

}  // namespace kd::script
