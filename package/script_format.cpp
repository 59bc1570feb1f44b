// Reading rules of the package script, shared by the installer and kdpack.
#include "package/script_format.h"

#include <algorithm>
#include <cstring>

#include "util/files.h"
#include "util/strings.h"

namespace kd::script {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Removes one final LF and then one CR, as every line read does.
void RemoveLineEnd(std::string& line) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

std::string Normalised(std::string line) {
    TrimString(line, false, true);
    return line;
}

bool IsHeader(const std::string& line) { return Normalised(line) == Header; }

namespace {

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

std::string DigestLineText(const unsigned char (&digest)[DigestSize],
                           const unsigned char (*signature)[SignatureSize]) {
    std::string text = DigestTag + Hex(digest, DigestSize);
    if (signature) text += std::string(" ") + SignatureTag + Hex(*signature, SignatureSize);
    return text;
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

bool SectionName(const std::string& line, std::string& name) {
    const std::string text = Normalised(line);
    if (text.empty() || text[0] != '[') return false;
    const std::size_t close = text.find(']', 1);
    if (close == std::string::npos) return false;
    name = Normalised(text.substr(1, close - 1));
    MakeUpper(name);
    return true;
}

namespace {

struct CommandRow {
    Command command;
    const char* name;
    const char* parameters[2];
    std::size_t count;
};

constexpr CommandRow Commands[] = {
    {Command::Dir, "DIR", {NameMarker, nullptr}, 1},
    {Command::RmDir, "RMDIR", {NameMarker, WithsubdirMarker}, 2},
    {Command::File, "FILE", {NameMarker, SizeMarker}, 2},
    {Command::RemoveFile, "REMOVEFILE", {NameMarker, nullptr}, 1},
    {Command::Exec, "EXEC", {NameMarker, nullptr}, 1},
    {Command::TextFile, "TEXTFILE", {NameMarker, nullptr}, 1},
    {Command::TextDir, "TEXTDIR", {NameMarker, nullptr}, 1},
};

}  // namespace

Command CommandNamed(const std::string& name) {
    for (const CommandRow& row : Commands) {
        if (name == row.name) return row.command;
    }
    return Command::None;
}

const char* CommandName(Command command) {
    for (const CommandRow& row : Commands) {
        if (row.command == command) return row.name;
    }
    return "";
}

const char* const* Parameters(Command command, std::size_t& count) {
    for (const CommandRow& row : Commands) {
        if (row.command == command) {
            count = row.count;
            return row.parameters;
        }
    }
    count = 0;
    return nullptr;
}

bool ParameterValue(const std::string& line, const char* marker, std::string& value) {
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) return false;
    value = line.substr(at + std::strlen(marker));
    value.erase(std::min(value.find('\0'), value.size()));
    if (std::strcmp(marker, WithsubdirMarker) == 0) MakeUpper(value);
    TrimString(value, false, true);
    return true;
}

bool ParseSize(const std::string& value, std::int64_t& size) {
    size = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') break;
        size = size * 10 + (c - '0');
        if (size > MaxSize) return false;
    }
    return true;
}

bool IsSkippedFile(const std::string& name) {
    std::string lower = name;
    MakeLower(lower);
    return lower == "thumbs.db";
}

LineRead ReadLine(std::FILE* script, char (&buffer)[LineBufferSize], std::string& line) {
    int length = 0;
    const int taken = ReadLineBytes(buffer, LineBufferSize, script, length);
    if (taken < 0) return LineRead::Failed;
    if (taken == 0) return LineRead::End;
    line.assign(buffer, static_cast<std::size_t>(length));
    return LineRead::Line;
}

std::size_t LineSplitter::Take(const unsigned char* data, std::size_t size) {
    if (complete) return 0;
    const std::size_t room = LinePiece - piece.size();
    const std::size_t span = std::min(size, room);
    const auto* lineFeed = static_cast<const unsigned char*>(std::memchr(data, '\n', span));
    const std::size_t taken = lineFeed ? static_cast<std::size_t>(lineFeed - data) + 1 : span;
    piece.append(reinterpret_cast<const char*>(data), taken);
    complete = lineFeed != nullptr || piece.size() == LinePiece;
    return taken;
}

std::string LineSplitter::Line() const {
    std::string line = piece;
    RemoveLineEnd(line);
    return line;
}

void LineSplitter::Clear() {
    piece.clear();
    complete = false;
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

std::string DigestWatcher::ActualHex() {
    Finish();
    return hashed ? Hex(actual, DigestSize) : std::string();
}

}  // namespace kd::script
