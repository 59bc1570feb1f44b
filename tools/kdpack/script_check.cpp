// Reading a package script the way the installer does: lines in pieces of at
// most 2046 bytes, normalised section lines, parameter lines found by their
// markers, FILE data stepped over by its size.
#include "tools/kdpack/script_check.h"

#include "tools/kdpack/kdpack.h"
#include "util/names.h"

#include <algorithm>
#include <cstring>

#include "util/strings.h"

namespace kd {

namespace {

struct CommandShape {
    const char* name;
    std::vector<std::string> markers;
};

const std::vector<CommandShape>& Shapes() {
    static const std::vector<CommandShape> shapes = {
        {"DIR", {"Name = "}},      {"RMDIR", {"Name = ", "Withsubdir = "}},
        {"FILE", {"Name = ", "Size = "}}, {"REMOVEFILE", {"Name = "}},
        {"EXEC", {"Name = "}},     {"TEXTFILE", {"Name = "}},
        {"TEXTDIR", {"Name = "}},
    };
    return shapes;
}

std::string Normalised(std::string text) {
    TrimString(text, false, true);
    return text;
}

std::string LowerKey(std::string path) {
    SlashesToBackslashes(path);
    MakeLower(path);
    return path;
}

}  // namespace

ScriptCheck::ScriptCheck(std::size_t destinationLength, std::string packageName)
    : destinationLength(destinationLength), packageName(std::move(packageName)) {
    // The installer decompresses into <destination>\<package>.kd_temp.
    if (!this->packageName.empty()) NotePath(this->packageName + ".kd_temp", MaxFilePath);
}

void ScriptCheck::Problem(std::uint64_t at, std::string message) {
    problems.push_back({at, std::move(message)});
}

void ScriptCheck::NotePath(const std::string& relative, std::size_t limit) {
    const std::size_t length = destinationLength + 1 + relative.size();
    if (length > longestPath) {
        longestPath = length;
        longestPathText = relative;
    }
    if (length > limit) {
        Problem(current.line, "path of " + std::to_string(length) +
                                  " characters below a destination of " +
                                  std::to_string(destinationLength) + " exceeds the limit of " +
                                  std::to_string(limit) + ": " + relative);
    }
}

bool ScriptCheck::CheckRelative(const std::string& name, bool directory) {
    const char* what = directory ? "directory" : "name";
    if (!name.empty() && (name[0] == '\\' || name[0] == '/')) {
        Problem(current.line, std::string(what) + " is absolute: " + name);
        return false;
    }
    if (name.size() >= 2 && name[1] == ':') {
        Problem(current.line, std::string(what) + " names a drive: " + name);
        return false;
    }
    if (ClimbsUp(name)) {
        Problem(current.line, std::string(what) + " leaves the destination with '..': " + name);
        return false;
    }
    if (NamesDevice(name)) {
        Problem(current.line, std::string(what) + " names a Windows device: " + name);
        return false;
    }
    return true;
}

void ScriptCheck::CheckComponents(const std::string& name, bool directory) {
    if (!directory && (name.empty() || name.back() == '\\' || name.back() == '/')) {
        Problem(current.line, "name \"" + name + "\" names no file: the target is the directory itself");
        return;
    }
    // Empty levels ("a\\b") are harmless: Windows reads them as one separator.
    for (std::size_t begin = 0; begin <= name.size();) {
        const std::size_t end = std::min(name.find_first_of("\\/", begin), name.size());
        const std::string component = name.substr(begin, end - begin);
        const std::string problem = component.empty() ? std::string() : NameProblem(component);
        if (!problem.empty()) {
            Problem(current.line, std::string(directory ? "directory" : "name") + " \"" + name + "\": " + problem);
            return;
        }
        begin = end + 1;
    }
}

bool ScriptCheck::Write(const unsigned char* data, std::size_t size) {
    scriptBytes += size;
    const unsigned char* next = data;
    const unsigned char* const end = data + size;
    while (next < end) {
        if (state == State::Stopped) {
            if (hashing) hash.Update(next, static_cast<std::size_t>(end - next));
            break;
        }
        if (state == State::Data) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(dataLeft, static_cast<std::uint64_t>(end - next)));
            if (std::memchr(next, 0, take)) dataHasZero = true;
            lineNumber += static_cast<std::uint64_t>(std::count(next, next + take, '\n'));
            if (hashing) hash.Update(next, take);
            next += take;
            dataLeft -= take;
            fileBytes += take;
            if (dataLeft == 0) {
                zeroBytesByFile[LowerKey(currentDirectory + current.name)] = dataHasZero;
                state = State::Commands;
            }
            continue;
        }
        if (line.size() == ScriptLinePiece) {
            // A full piece without its line end, and more bytes follow: the
            // line needs a second read. At the end of the script it would not.
            Line(line, false);
            line.clear();
            continue;
        }
        if (line.empty()) pieceLine = lineNumber;
        const std::size_t room = ScriptLinePiece - line.size();
        const unsigned char* stop = end - next > static_cast<std::ptrdiff_t>(room) ? next + room : end;
        const auto* lineFeed =
            static_cast<const unsigned char*>(std::memchr(next, '\n', static_cast<std::size_t>(stop - next)));
        const unsigned char* taken = lineFeed ? lineFeed + 1 : stop;
        line.append(reinterpret_cast<const char*>(next), static_cast<std::size_t>(taken - next));
        if (hashing) hash.Update(next, static_cast<std::size_t>(taken - next));
        next = taken;
        if (lineFeed) {
            ++lineNumber;
            Line(line, true);
            line.clear();
        }
    }
    return true;
}

void ScriptCheck::Line(std::string& text, bool complete) {
    const std::size_t zero = text.find('\0');
    if (zero == 0) {
        Problem(pieceLine, "a zero byte begins this line: the installer stops reading the script here");
        state = State::Stopped;
        return;
    }
    if (zero != std::string::npos) {
        Problem(pieceLine, "a zero byte in this line: the installer reads the line only up to it");
        text.resize(zero);
    }
    if (!complete) {
        if (!lineTooLongNoted)
            Problem(pieceLine, "line longer than 2046 bytes with its line end: the installer reads it in pieces");
        lineTooLongNoted = true;
    } else {
        lineTooLongNoted = false;
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();

    switch (state) {
    case State::Header:
        if (Normalised(text) != "KELDO PACKAGE FILE")
            Problem(pieceLine, "line 1 is not the package header \"KELDO PACKAGE FILE\"");
        state = State::LineTwo;
        break;
    case State::LineTwo:
        if (text.compare(0, std::strlen(DigestTag), DigestTag) == 0)
            expectedDigest = Normalised(text.substr(std::strlen(DigestTag)));
        hashing = true;
        state = State::Commands;
        break;
    case State::Commands:
        Command(text);
        break;
    case State::Parameter:
        Parameter(text);
        break;
    default:
        break;
    }
}

void ScriptCheck::Command(const std::string& raw) {
    const std::string text = Normalised(raw);
    if (text.empty() || text[0] != '[') return;
    const std::size_t close = text.find(']');
    if (close == std::string::npos) {
        Problem(pieceLine, "section line without ']': the installer skips it: " + text);
        return;
    }
    std::string name = Normalised(text.substr(1, close - 1));
    MakeUpper(name);
    for (const CommandShape& shape : Shapes()) {
        if (name == shape.name) {
            current = ScriptCommand{pieceLine, name, {}, -1};
            parameters = shape.markers;
            withSubdirectories.clear();
            state = State::Parameter;
            return;
        }
    }
    Problem(pieceLine, "unknown section [" + name + "]: the installer skips it and the lines after it");
}

void ScriptCheck::Parameter(const std::string& raw) {
    const std::string& marker = parameters.front();
    const std::size_t at = raw.find(marker);
    if (at == std::string::npos) {
        Problem(pieceLine, "[" + current.command + "] needs a \"" + marker +
                               "\" line here: the installer rejects the package");
        state = State::Commands;
        Command(raw);  // go on checking from this line
        return;
    }
    std::string value = raw.substr(at + marker.size());
    if (marker == "Withsubdir = ") {
        MakeUpper(value);
        withSubdirectories = Normalised(value);
    } else if (marker == "Size = ") {
        value = Normalised(value);
        std::uint32_t size = 0;  // as the installer reads it: leading digits, 32 bits
        std::size_t digits = 0;
        while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9')
            size = size * 10 + static_cast<std::uint32_t>(value[digits++] - '0');
        if (digits == 0 || digits != value.size())
            Problem(pieceLine, "size \"" + value + "\" is not a plain number: the installer reads " +
                                   std::to_string(size));
        if (size > 0x7FFFFFFFu || digits > 10)
            Problem(pieceLine, "size " + value + " is above 2147483647");
        current.size = size;
    } else {
        current.name = Normalised(value);
    }
    parameters.erase(parameters.begin());
    if (parameters.empty()) EndCommand();
}

void ScriptCheck::EndCommand() {
    commands.push_back(current);
    state = State::Commands;
    const std::string& command = current.command;
    if (command == "DIR" || command == "RMDIR" || command == "TEXTDIR") {
        std::string directory = current.name;
        SlashesToBackslashes(directory);
        if (CheckRelative(directory, true)) CheckComponents(directory, true);
        if (command == "DIR") {
            if (!directory.empty()) NotePath(directory, MaxDirectoryPath);
            currentDirectory = directory;
            if (!currentDirectory.empty() && currentDirectory.back() != '\\') currentDirectory += '\\';
            haveDirectory = true;
            std::string shown = directory;
            RemoveTrailingSeparator(shown);
            if (!shown.empty()) CheckCase(directoriesByFolded, shown, "directory");
        }
        return;
    }
    if (!haveDirectory) {
        Problem(current.line, "[" + command + "] before any [DIR]: the installer takes " + current.name +
                                  " relative to its own working directory");
    }
    const bool relative = CheckRelative(current.name, false);
    if (relative && (command == "FILE" || command == "TEXTFILE")) CheckComponents(current.name, false);
    const std::string path = currentDirectory + current.name;
    if (command == "FILE") {
        NotePath(path, MaxFilePath);
        std::string target = path;
        SlashesToBackslashes(target);
        CheckCase(filesByFolded, target, "file");
        std::string lower = current.name;
        MakeLower(lower);
        if (lower == "thumbs.db")
            Problem(current.line, "the installer never writes a file named " + current.name);
        dataLeft = static_cast<std::uint64_t>(current.size);
        dataHasZero = false;
        if (dataLeft > 0) {
            state = State::Data;
        } else {
            zeroBytesByFile[LowerKey(path)] = false;
        }
    } else if (command == "TEXTFILE") {
        NotePath(path + ".kd_temp", MaxFilePath);
        const auto written = zeroBytesByFile.find(LowerKey(path));
        if (written != zeroBytesByFile.end() && written->second)
            Problem(current.line, "text conversion of " + current.name +
                                      ", which holds zero bytes, would lose what follows them");
    }
}

void ScriptCheck::CheckCase(std::map<std::string, Earlier>& earlier, const std::string& path,
                            const char* what) {
    const auto [at, added] = earlier.try_emplace(LowerKey(path), Earlier{path, current.line});
    if (!added && at->second.path != path)
        Problem(current.line, std::string(what) + " " + path + " differs only in letter case from line " +
                                  std::to_string(at->second.line) + " (" + at->second.path +
                                  "): Windows takes them for one");
}

void ScriptCheck::Finish() {
    if (!line.empty() && state != State::Stopped) {
        Line(line, true);
        line.clear();
    }
    switch (state) {
    case State::Header:
        Problem(1, "the script is empty: no header line");
        break;
    case State::LineTwo:
        Problem(2, "line 2 is missing: the installer rejects the package");
        break;
    case State::Parameter:
        Problem(current.line, "the script ends inside [" + current.command +
                                  "]: the installer rejects the package");
        break;
    case State::Data:
        Problem(current.line, "the data of " + current.name + " runs " + std::to_string(dataLeft) +
                                  " bytes past the end of the script");
        break;
    default:
        break;
    }
    if (hashing) {
        const std::string actual = hash.HexDigest();
        if (!expectedDigest.empty()) {
            digest = actual == expectedDigest ? Digest::Matches : Digest::Differs;
            if (digest == Digest::Differs)
                Problem(2, "the digest on line 2 does not match the content after it");
        }
    }
    if (scriptBytes > 0x7FFFFFFFu)
        Problem(0, "the script has " + std::to_string(scriptBytes) +
                       " bytes: the installer reads scripts below 2147483648 bytes only");
}

}  // namespace kd
