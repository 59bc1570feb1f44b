// Line 2 of a package script: free text, or the digest kdpack records of
// everything after it. The installer and kdpack check it through these.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"
#include "script/format.h"
#include "util/byte_stream.h"

namespace kd::script {

// Line 2 of a script whose writer recorded a digest: this tag, then the
// SHA-256 of every byte after line 2 as 64 hexadecimal digits.
inline constexpr char DigestTag[] = "kdpack sha256 ";
constexpr std::size_t DigestSize = platform::Sha256::DigestSize;

// True when `line` (line 2 as read) carries a digest: normalised, it is
// exactly DigestTag and 64 hexadecimal digits in either case. The digest
// then goes to `digest`.
bool ReadDigestLine(const std::string& line, unsigned char (&digest)[DigestSize]);

// Lower-case hexadecimal digits of `size` bytes.
std::string Hex(const unsigned char* bytes, std::size_t size);

// Lines 1 and 2 as kdpack writes them for a body with this digest.
std::string ScriptPrefix(const unsigned char (&digest)[DigestSize]);

// Watches a script as it is decoded: finds where line 2 ends, reads its
// digest, and hashes every byte after it, so the digest is known when the
// decoder is done without reading the script again.
class DigestWatcher : public ByteSink {
public:
    bool Write(const unsigned char* data, std::size_t size) override;

    // After the whole script was written: line 2 carried a digest (also a
    // line 2 that ends the script without a line end).
    bool HasDigest() {
        Finish();
        return hasDigest;
    }
    // After the whole script was written: the digest on line 2 is the one
    // of the rest. False when there is none or hashing failed.
    bool Matches();
    // The digest of the rest, as 64 digits (empty when hashing failed).
    std::string ActualHex();

private:
    void Finish();

    LineSplitter splitter;
    int linesSeen = 0;
    bool hasDigest = false;
    bool finished = false;
    bool hashed = false;
    unsigned char expected[DigestSize] = {};
    unsigned char actual[DigestSize] = {};
    platform::Sha256 hash;
};

}  // namespace kd::script
