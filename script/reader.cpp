// Reading a script's lines into commands. Operating-system independent.
#include "script/reader.h"

#include <algorithm>

#include "util/names.h"
#include "util/strings.h"

namespace kd::script {

namespace {

bool NamesDirectory(Command command) {
    return command == Command::Dir || command == Command::RmDir || command == Command::TextDir;
}

std::string DirectoryName(const ScriptCommand& command) {
    std::string name = command.name;
    if (NamesDirectory(command.command)) util::SlashesToBackslashes(name);
    return name;
}

}  // namespace

std::string NameFault(const ScriptCommand& command) {
    const bool directory = NamesDirectory(command.command);
    const std::string name = DirectoryName(command);
    const std::string what = directory ? "directory" : "name";
    switch (command.refusal) {
    case NameRefusal::ClimbsUp: return what + " leaves the destination with '..': " + name;
    case NameRefusal::Device: return what + " names a Windows device: " + name;
    case NameRefusal::Absolute: return what + " is absolute: " + name;
    case NameRefusal::Drive: return what + " names a drive: " + name;
    case NameRefusal::None: break;
    }
    // Below a directory the installer takes these as levels below it; still
    // not what the writer meant.
    if (!name.empty() && util::IsSeparator(name[0])) return what + " is absolute: " + name;
    if (name.size() >= 2 && name[1] == ':') return what + " names a drive: " + name;
    // REMOVEFILE and EXEC create nothing.
    if (!directory && command.command != Command::File && command.command != Command::TextFile) return {};
    if (!directory && (name.empty() || util::IsSeparator(name.back())))
        return "name \"" + name + "\" names no file: the target is the directory itself";
    // Empty levels ("a\\b") are harmless: Windows reads them as one separator.
    for (std::size_t begin = 0; begin <= name.size();) {
        const std::size_t end = std::min(name.find_first_of("\\/", begin), name.size());
        const std::string level = name.substr(begin, end - begin);
        const std::string problem = level.empty() ? std::string() : util::NameProblem(level);
        if (!problem.empty()) return what + " \"" + name + "\": " + problem;
        begin = end + 1;
    }
    return {};
}

bool ClearsDestination(const ScriptCommand& command) {
    std::string directory = DirectoryName(command);
    util::RemoveTrailingSeparator(directory);
    return command.command == Command::RmDir && command.withSubdirectories && (directory.empty() || directory == ".");
}

Reader::Step Reader::Take(const std::string& line) {
    switch (stage) {
    case Stage::Header:
        stage = Stage::LineTwo;
        return IsHeader(line) ? Step::Line : Step::BadHeader;
    case Stage::LineTwo:
        stage = Stage::Commands;
        return Step::LineTwo;
    case Stage::Commands:
        if (!SectionName(line, section)) {
            section = Normalised(line);
            return !section.empty() && section[0] == '[' ? Step::Unclosed : Step::Line;
        }
        current = ScriptCommand{};
        current.command = CommandNamed(section);
        if (current.command == Command::None) return Step::Unknown;
        parametersRead = 0;
        stage = Stage::Parameters;
        return Step::Line;
    case Stage::Parameters:
        break;
    }
    const char* const marker = Expected();
    std::string value;
    if (!ParameterValue(line, marker, value)) {
        stage = Stage::Commands;
        return Step::MissingMarker;
    }
    std::size_t count = 0;
    Parameters(current.command, count);
    if (marker == SizeMarker) {
        current.sizeTooLarge = !ParseSize(value, current.size);
        if (current.sizeTooLarge) current.size = 0;
        current.sizeValue = std::move(value);
    } else if (marker == WithsubdirMarker) {
        current.withSubdirectories = WithSubdirectories(value);
    } else {
        current.name = std::move(value);
    }
    if (++parametersRead < count) return Step::Line;

    stage = Stage::Commands;
    // Names of the current directory are used as written before the first DIR.
    current.usedAsWritten = !NamesDirectory(current.command) && !directoryRead;
    current.refusal = RefusedName(current.name, current.usedAsWritten);
    if (current.command == Command::Dir) {
        directory = current.name;
        util::SlashesToBackslashes(directory);
        directoryRead = true;
    }
    return Step::CommandRead;
}

const char* Reader::Expected() const {
    std::size_t count = 0;
    const char* const* markers = Parameters(current.command, count);
    return parametersRead < count ? markers[parametersRead] : NameMarker;
}

bool Reader::TouchesScriptCopy(const std::string& packageName) const {
    // Before the first DIR names lie outside the destination.
    return directoryRead && script::TouchesScriptCopy(current.command, directory, current.name, packageName);
}

}  // namespace kd::script
