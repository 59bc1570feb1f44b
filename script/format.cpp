// Reading rules of the package script, shared by the installer and kdpack.
#include "script/format.h"

#include <algorithm>
#include <cstring>

#include "util/strings.h"

namespace kd::script {

namespace {

// Removes one final LF and then one CR, as every line read does.
void RemoveLineEnd(std::string& line) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

std::string Normalised(std::string line) {
    util::TrimString(line, false, true);
    return line;
}

bool IsHeader(const std::string& line) { return Normalised(line) == Header; }

bool SectionName(const std::string& line, std::string& name) {
    const std::string text = Normalised(line);
    if (text.empty() || text[0] != '[') return false;
    const std::size_t close = text.find(']', 1);
    if (close == std::string::npos) return false;
    name = Normalised(text.substr(1, close - 1));
    util::MakeUpper(name);
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
    if (std::strcmp(marker, WithsubdirMarker) == 0) util::MakeUpper(value);
    util::TrimString(value, false, true);
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
    util::MakeLower(lower);
    return lower == "thumbs.db";
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

}  // namespace kd::script
