// Line 2: the digest line and the watcher that checks it as a script is
// decoded.
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

}  // namespace

bool ReadDigestLine(const std::string& line, unsigned char (&digest)[DigestSize]) {
    const std::string text = Normalised(line);
    const std::size_t tag = sizeof DigestTag - 1;
    if (text.size() != tag + 2 * DigestSize || text.compare(0, tag, DigestTag) != 0) return false;
    for (std::size_t i = 0; i < DigestSize; ++i) {
        const int high = HexValue(text[tag + 2 * i]);
        const int low = HexValue(text[tag + 2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
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

std::string ScriptPrefix(const unsigned char (&digest)[DigestSize]) {
    return std::string(Header) + "\n" + DigestTag + Hex(digest, DigestSize) + "\n";
}

bool DigestWatcher::Write(const unsigned char* data, std::size_t size) {
    // Lines 1 and 2 as the installer reads them; everything after is hashed.
    while (linesSeen < 2 && size > 0) {
        const std::size_t taken = splitter.Take(data, size);
        data += taken;
        size -= taken;
        if (!splitter.Complete()) break;
        if (++linesSeen == 2) hasDigest = ReadDigestLine(splitter.Line(), expected);
        splitter.Clear();
    }
    if (linesSeen == 2 && hasDigest && size > 0) hash.Update(data, size);
    return true;
}

void DigestWatcher::Finish() {
    if (finished) return;
    finished = true;
    // A line 2 without a line end ends the script: nothing follows it.
    if (linesSeen == 1 && !splitter.Empty()) {
        ++linesSeen;
        hasDigest = ReadDigestLine(splitter.Line(), expected);
    }
    if (hasDigest) hashed = hash.Finish(actual);
}

bool DigestWatcher::Matches() {
    Finish();
    return hasDigest && hashed && std::memcmp(expected, actual, DigestSize) == 0;
}

std::string DigestWatcher::ActualHex() {
    Finish();
    return hashed ? Hex(actual, DigestSize) : std::string();
}

}  // namespace kd::script
