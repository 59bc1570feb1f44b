// Reading a package script the way the installer does: line pieces, section
// lines, parameter lines found by their markers, FILE data stepped over by its
// size. Every reading rule and judgement comes from script/.
#include "tools/kdpack/script_check.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "script/rules.h"
#include "util/names.h"
#include "util/strings.h"

namespace kd::kdpack {

namespace {

const char* const Rejects = ": the installer rejects the package";
const std::string SameOnWindows = "on a machine with code page " + std::to_string(script::AssumedCodePage) +
                                  " (assumed) one would overwrite the other";

std::string Folded(std::string path) {
    util::SlashesToBackslashes(path);
    return script::UpperCaseName(path);
}

// FNV-1a: the folded form's hash; never 0, which marks an empty slot.
std::uint64_t FoldedHash(const std::string& path) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : Folded(path)) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash == 0 ? 1 : hash;
}

// The bytes' own hash, its low bit left free for the mark.
std::uint32_t ExactHash(const std::string& path) {
    std::string exact = path;
    util::SlashesToBackslashes(exact);
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(exact)) & ~1u;
}

// The directory part of a "\"-separated path, and the last name.
std::string DirectoryOf(const std::string& path) {
    const std::size_t separator = path.rfind('\\');
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

std::size_t FoldedPaths::Find(std::uint64_t hash) const {
    const std::size_t mask = folded.size() - 1;
    std::size_t at = hash & mask;
    while (folded[at] != 0 && folded[at] != hash) at = (at + 1) & mask;
    return at;
}

bool FoldedPaths::Add(const std::string& path) {
    if (4 * (used + 1) > 3 * folded.size()) Grow();
    const std::uint64_t hash = FoldedHash(path);
    const std::uint32_t bytes = ExactHash(path);
    const std::size_t at = Find(hash);
    if (folded[at] != 0) return (exact[at] & ~1u) == bytes;
    folded[at] = hash;
    exact[at] = bytes;
    ++used;
    return true;
}

void FoldedPaths::Mark(const std::string& path, bool on) {
    if (folded.empty()) return;
    const std::size_t at = Find(FoldedHash(path));
    if (folded[at] != 0) exact[at] = (exact[at] & ~1u) | (on ? 1u : 0u);
}

bool FoldedPaths::Marked(const std::string& path) const {
    if (folded.empty()) return false;
    const std::size_t at = Find(FoldedHash(path));
    return folded[at] != 0 && (exact[at] & 1u) != 0;
}

void FoldedPaths::Grow() {
    std::vector<std::uint64_t> oldFolded(folded.empty() ? 1024 : 2 * folded.size());
    std::vector<std::uint32_t> oldExact(oldFolded.size());
    oldFolded.swap(folded);
    oldExact.swap(exact);
    for (std::size_t i = 0; i < oldFolded.size(); ++i) {
        if (oldFolded[i] == 0) continue;
        const std::size_t at = Find(oldFolded[i]);
        folded[at] = oldFolded[i];
        exact[at] = oldExact[i];
    }
}

ScriptCheck::ScriptCheck(std::size_t destinationLength, std::vector<std::string> names, bool trackPaths)
    : destinationLength(destinationLength),
      packageNames(std::move(names)),
      refusedAs(packageNames.size(), false),
      trackPaths(trackPaths) {
    // The installer decompresses into <destination>\<package>.kd_temp.
    for (const std::string& name : packageNames) NotePath(name + script::TemporarySuffix, MaxFilePath);
}

bool ScriptCheck::RefusedAs(const std::string& packageName) const {
    for (std::size_t i = 0; i < packageNames.size(); ++i) {
        if (packageNames[i] == packageName) return refused || refusedAs[i];
    }
    return refused;
}

void ScriptCheck::Problem(std::uint64_t at, std::string message, bool refuses) {
    ++problemCount;
    refused = refused || refuses;
    if (problems.size() < ProblemsKept || at == 0 || finishing)
        problems.push_back({at, std::move(message), refuses});
}

void ScriptCheck::NotePath(const std::string& relative, std::size_t limit) {
    const std::size_t length = destinationLength + 1 + relative.size();
    longestPath = std::max(longestPath, length);
    if (length > limit) {
        Problem(current.line, "path of " + std::to_string(length) +
                                  " characters below a destination of " +
                                  std::to_string(destinationLength) + " exceeds the limit of " +
                                  std::to_string(limit) + ": " + relative);
    }
}

bool ScriptCheck::CheckRelative(const std::string& name, bool directory) {
    const std::string what = directory ? "directory" : "name";
    // The installer's own refusals first, in its order; an absolute name
    // counts only before the first DIR, where it is used as written.
    switch (script::RefusedName(name, !directory && !haveDirectory)) {
    case script::NameRefusal::ClimbsUp:
        Problem(current.line, what + " leaves the destination with '..': " + name, true);
        return false;
    case script::NameRefusal::Device:
        Problem(current.line, what + " names a Windows device: " + name, true);
        return false;
    case script::NameRefusal::Absolute:
        Problem(current.line, what + " is absolute: " + name, true);
        return false;
    case script::NameRefusal::Drive:
        Problem(current.line, what + " names a drive: " + name, true);
        return false;
    case script::NameRefusal::None:
        break;
    }
    if (!name.empty() && util::IsSeparator(name[0])) {
        Problem(current.line, what + " is absolute: " + name);
        return false;
    }
    if (name.size() >= 2 && name[1] == ':') {
        Problem(current.line, what + " names a drive: " + name);
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
        const std::string problem = component.empty() ? std::string() : util::NameProblem(component);
        if (!problem.empty()) {
            Problem(current.line, std::string(directory ? "directory" : "name") + " \"" + name + "\": " + problem);
            return;
        }
        begin = end + 1;
    }
}

bool ScriptCheck::Write(const unsigned char* data, std::size_t size) {
    scriptBytes += size;
    digestWatcher.Write(data, size);
    const unsigned char* next = data;
    const unsigned char* const end = data + size;
    while (next < end) {
        if (state == State::Data) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(dataLeft, static_cast<std::uint64_t>(end - next)));
            if (std::memchr(next, 0, take)) dataHasZero = true;
            lineNumber += static_cast<std::uint64_t>(std::count(next, next + take, '\n'));
            next += take;
            dataLeft -= take;
            fileBytes += take;
            if (dataLeft == 0) {
                if (trackPaths) files.Mark(currentDirectory + current.name, dataHasZero);
                state = State::Commands;
            }
            continue;
        }
        if (splitter.Complete()) {
            // A full piece without its line end, and more bytes follow: the
            // line needs a second read. At the end of the script it would not.
            Line(splitter.Line(), false);
            splitter.Clear();
            continue;
        }
        if (splitter.Empty()) pieceLine = lineNumber;
        next += splitter.Take(next, static_cast<std::size_t>(end - next));
        if (splitter.Complete() && splitter.EndsWithLineFeed()) {
            ++lineNumber;
            Line(splitter.Line(), true);
            splitter.Clear();
        }
    }
    return true;
}

void ScriptCheck::Line(std::string text, bool whole) {
    if (text.find('\0') != std::string::npos) {
        if (state == State::Parameter) {
            Problem(pieceLine, "a zero byte in this parameter line: the installer takes the value only up to it");
        } else if (state != State::Header) {
            Problem(pieceLine, "a zero byte in this line: the installer reads it as an ordinary byte and "
                               "reads on after the line");
        }
    }
    // A piece of LinePiece bytes without its line end: the installer reads
    // the rest of the line as the next line.
    if (!whole) {
        if (!lineTooLongNoted)
            Problem(pieceLine, "line longer than " + std::to_string(script::LinePiece) +
                                   " bytes with its line end: the installer reads it in pieces");
        lineTooLongNoted = true;
    } else {
        lineTooLongNoted = false;
    }

    switch (state) {
    case State::Header:
        if (!script::IsHeader(text))
            Problem(pieceLine, std::string("line 1 is not the package header \"") + script::Header + "\"", true);
        state = State::LineTwo;
        break;
    case State::LineTwo:
        state = State::Commands;
        break;
    case State::Commands:
        Command(text);
        break;
    case State::Parameter:
        Parameter(text);
        break;
    case State::Data:
        break;
    }
}

void ScriptCheck::Command(const std::string& text) {
    std::string name;
    if (!script::SectionName(text, name)) {
        const std::string normalised = script::Normalised(text);
        if (!normalised.empty() && normalised[0] == '[')
            Problem(pieceLine, "section line without ']': the installer skips it: " + normalised);
        return;
    }
    const script::Command command = script::CommandNamed(name);
    if (command == script::Command::None) {
        Problem(pieceLine, "unknown section [" + name + "]: the installer skips it and the lines after it");
        return;
    }
    current = ScriptCommand{pieceLine, command, {}, -1};
    parametersRead = 0;
    state = State::Parameter;
}

void ScriptCheck::Parameter(const std::string& text) {
    std::size_t count = 0;
    const char* const* markers = script::Parameters(current.command, count);
    const char* marker = markers[parametersRead];
    std::string value;
    if (!script::ParameterValue(text, marker, value)) {
        Problem(pieceLine, std::string("[") + script::CommandName(current.command) + "] needs a \"" + marker +
                               "\" line here" + Rejects, true);
        state = State::Commands;
        Command(text);  // go on checking from this line
        return;
    }
    if (marker == script::SizeMarker) {
        std::size_t digits = 0;
        if (!script::ParseSize(value, current.size, &digits)) {
            Problem(pieceLine, "size " + value + " is above " + std::to_string(script::MaxSize) + Rejects, true);
            current.size = 0;
        } else if (digits == 0 || digits != value.size()) {
            Problem(pieceLine, "size \"" + value + "\" is not a plain number: the installer reads " +
                                   std::to_string(current.size));
        }
    } else if (marker == script::NameMarker) {
        current.name = value;
    } else {
        current.withSubdirectories = script::WithSubdirectories(value);
    }
    if (++parametersRead == count) EndCommand();
}

void ScriptCheck::EndCommand() {
    ++commandCount;
    state = State::Commands;
    using script::Command;
    const Command command = current.command;
    directoryCount += command == Command::Dir;
    textCount += command == Command::TextFile || command == Command::TextDir;
    if (command == Command::File) ++fileCount;
    if (onCommand) onCommand(current);

    if (command == Command::Dir || command == Command::RmDir || command == Command::TextDir) {
        std::string directory = current.name;
        util::SlashesToBackslashes(directory);
        if (CheckRelative(directory, true)) CheckComponents(directory, true);
        util::RemoveTrailingSeparator(directory);
        if (command == Command::RmDir && current.withSubdirectories && (directory.empty() || directory == "."))
            Problem(current.line, "[RMDIR] of the destination itself with its subdirectories: the installer "
                                  "deletes everything in the destination, whatever it holds");
        if (command == Command::Dir) {
            if (!directory.empty()) NotePath(directory, MaxDirectoryPath);
            currentDirectory = directory;
            util::AddTrailingBackslash(currentDirectory);
            haveDirectory = true;
            std::string shown = directory;
            util::RemoveTrailingSeparator(shown);
            if (trackPaths && !shown.empty() && !directories.Add(shown))
                Problem(current.line, "directory " + shown + " differs only in letter case from an earlier one: " +
                                          SameOnWindows);
        }
        return;
    }
    if (!haveDirectory) {
        Problem(current.line, std::string("[") + script::CommandName(command) +
                                  "] before any [DIR]: the installer takes " + current.name +
                                  " relative to its own working directory");
    }
    const bool relative = CheckRelative(current.name, false);
    if (relative && (command == Command::File || command == Command::TextFile))
        CheckComponents(current.name, false);
    const std::string path = currentDirectory + current.name;
    // Before the first [DIR] names lie outside the destination.
    for (std::size_t i = 0; haveDirectory && i < packageNames.size(); ++i) {
        if (!script::TouchesScriptCopy(command, currentDirectory, current.name, packageNames[i])) continue;
        const std::string what = std::string("[") + script::CommandName(command) + "] of " + current.name +
                                 " would change the installer's copy of the script";
        if (packageNames.size() == 1) {
            Problem(current.line, what + Rejects, true);
        } else {
            refusedAs[i] = true;
            Problem(current.line, "rejected as " + packageNames[i] + ": " + what);
        }
    }
    if (command == Command::File) {
        NotePath(path, MaxFilePath);
        std::string target = path;
        util::SlashesToBackslashes(target);
        if (trackPaths && !files.Add(target)) {
            const std::string directory = DirectoryOf(target);
            Problem(current.line, "file " + target.substr(directory.empty() ? 0 : directory.size() + 1) +
                                      (directory.empty() ? std::string(" in the destination") : " in " + directory) +
                                      " differs only in letter case from an earlier file there: " + SameOnWindows);
        }
        if (script::IsSkippedFile(current.name))
            Problem(current.line, "the installer never writes a file named " + current.name);
        dataLeft = static_cast<std::uint64_t>(current.size);
        dataHasZero = false;
        if (dataLeft > 0) {
            state = State::Data;
        } else if (trackPaths) {
            files.Mark(path, false);
        }
    } else if (command == Command::TextFile) {
        NotePath(path + script::TemporarySuffix, MaxFilePath);
        if (trackPaths && files.Marked(path))
            Problem(current.line, "text conversion of " + current.name +
                                      ", which holds zero bytes, would lose what follows them");
    }
}

void ScriptCheck::Finish() {
    finishing = true;
    if (!splitter.Empty()) {
        Line(splitter.Line(), true);
        splitter.Clear();
    }
    switch (state) {
    case State::Header:
        Problem(1, "the script is empty: no header line", true);
        break;
    case State::LineTwo:
        Problem(2, std::string("line 2 is missing") + Rejects, true);
        break;
    case State::Parameter:
        Problem(current.line, std::string("the script ends inside [") + script::CommandName(current.command) +
                                  "]" + Rejects, true);
        break;
    case State::Data:
        Problem(current.line, "the data of " + current.name + " runs " + std::to_string(dataLeft) +
                                  " bytes past the end of the script" + Rejects, true);
        break;
    default:
        break;
    }
    if (HasLineTwo() && digestWatcher.HasDigest()) {
        digest = digestWatcher.Matches() ? Digest::Matches : Digest::Differs;
        if (digest == Digest::Differs)
            Problem(2, std::string("the digest on line 2 does not match the content after it") + Rejects, true);
    }
    if (scriptBytes > static_cast<std::uint64_t>(script::MaxSize))
        Problem(0, "the script has " + std::to_string(scriptBytes) + " bytes: the installer reads scripts below " +
                       std::to_string(script::MaxSize + 1) + " bytes only");
}

}  // namespace kd::kdpack
