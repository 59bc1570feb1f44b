// Line 2: the digest line, its signature, and the watcher that checks the
// digest as a script is decoded.
#include "script/line2.h"

#include <cstring>

namespace kd::script {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 2 * size hexadecimal digits at `text`; false at any other byte.
bool ReadHex(const char* text, unsigned char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

}  // namespace

DigestLine ReadDigestLine(const std::string& line) {
    DigestLine result;
    const std::string text = Normalised(line);
    const std::size_t tag = sizeof DigestTag - 1;
    const std::size_t end = tag + 2 * DigestSize;
    if (text.size() < end || text.compare(0, tag, DigestTag) != 0 ||
        (text.size() > end && text[end] != ' ') || !ReadHex(&text[tag], result.digest, DigestSize)) {
        return result;
    }
    result.hasDigest = true;
    if (text.size() == end) return result;
    const std::size_t signatureTag = sizeof SignatureTag - 1;
    const std::size_t field = end + 1;
    result.field = text.size() == field + signatureTag + 2 * SignatureSize &&
                           text.compare(field, signatureTag, SignatureTag) == 0 &&
                           ReadHex(&text[field + signatureTag], result.signature, SignatureSize)
                       ? SignatureField::Signature
                       : SignatureField::Other;
    return result;
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string DigestLineText(const unsigned char (&digest)[DigestSize],
                           const unsigned char (*signature)[SignatureSize]) {
    std::string text = DigestTag + Hex(digest, DigestSize);
    if (signature) text += std::string(" ") + SignatureTag + Hex(*signature, SignatureSize);
    return text;
}

std::string ScriptPrefix(const unsigned char (&digest)[DigestSize],
                         const unsigned char (*signature)[SignatureSize]) {
    return std::string(Header) + "\n" + DigestLineText(digest, signature) + "\n";
}

bool LoadKeys(std::span<const char* const> pems, std::vector<platform::PublicKey>& keys) {
    keys.clear();
    for (const char* pem : pems) {
        keys.emplace_back();
        if (pem == nullptr || !keys.back().Load(pem)) return false;
    }
    return true;
}

int SigningKey(const DigestLine& line, const std::vector<platform::PublicKey>& keys) {
    if (!line.hasDigest || line.field != SignatureField::Signature) return -1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].Verify(line.digest, line.signature)) return static_cast<int>(i);
    }
    return -1;
}

std::string Fingerprint(const platform::PublicKey& key) {
    platform::Sha256 hash;
    hash.Update(key.Der().data(), key.Der().size());
    unsigned char digest[DigestSize];
    return hash.Finish(digest) ? Hex(digest, DigestSize) : std::string();
}

bool DigestWatcher::Write(const unsigned char* data, std::size_t size) {
    // Lines 1 and 2 as the installer reads them; everything after is hashed.
    while (linesSeen < 2 && size > 0) {
        const std::size_t taken = splitter.Take(data, size);
        data += taken;
        size -= taken;
        if (!splitter.Complete()) break;
        if (++linesSeen == 2) lineTwo = ReadDigestLine(splitter.Line());
        splitter.Clear();
    }
    if (linesSeen == 2 && lineTwo.hasDigest && size > 0) hash.Update(data, size);
    return true;
}

void DigestWatcher::Finish() {
    if (finished) return;
    finished = true;
    // A line 2 without a line end ends the script: nothing follows it.
    if (linesSeen == 1 && !splitter.Empty()) {
        ++linesSeen;
        lineTwo = ReadDigestLine(splitter.Line());
    }
    if (lineTwo.hasDigest) hashed = hash.Finish(actual);
}

bool DigestWatcher::Matches() {
    Finish();
    return lineTwo.hasDigest && hashed && std::memcmp(lineTwo.digest, actual, DigestSize) == 0;
}

}  // namespace kd::script
