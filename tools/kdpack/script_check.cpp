// Reading a package script the way the installer does, block by block:
// line pieces into the script library's reader, FILE data stepped over by
// its size. What is reported, counted and estimated is kdpack's own.
#include "tools/kdpack/script_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "script/rules.h"
#include "util/strings.h"

namespace kd::kdpack {

namespace {

const char* const Rejects = ": the installer rejects the package";

std::string Bracketed(script::Command command) { return std::string("[") + script::CommandName(command) + "]"; }

}  // namespace

bool ReadCodePage(Io& io, const std::string& help, const std::vector<std::string>& values, script::CodePage& codePage) {
    if (values.empty()) return true;
    const std::string& value = values.back();
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    const std::string refusal = value.empty() || *end != '\0' || number <= 0 || number > 65535
                                    ? "not a code page number"
                                    : script::CodePageRefusal(static_cast<int>(number));
    if (!refusal.empty()) {
        Usage(io, help, ("code page " + value + ": " + refusal).c_str());
        return false;
    }
    if (!codePage.Load(static_cast<int>(number))) {
        Usage(io, help, ("code page " + value + ": this system cannot convert it").c_str());
        return false;
    }
    return true;
}

std::string ScriptCheck::SameOnWindows() const {
    return "on a machine with code page " + std::to_string(codePageNumber) + " (assumed) one would overwrite the other";
}

ScriptCheck::ScriptCheck(std::size_t destinationLength, std::vector<std::string> names, bool trackPaths,
                         const script::CodePage& codePage)
    : destinationLength(destinationLength),
      packageNames(std::move(names)),
      refusedAs(packageNames.size(), false),
      trackPaths(trackPaths),
      paths(codePage.Case()),
      codePageNumber(codePage.Number()),
      definedBytes(256) {
    for (int byte = 0; byte < 256; ++byte) definedBytes[byte] = codePage.Defined(static_cast<unsigned char>(byte));
    // The destination itself, which TEXTDIR of an empty name converts.
    paths.Add("", script::EntryKind::Directory);
    // The installer decompresses into <destination>\<package> + TemporarySuffix.
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
        Problem(commandLine, "path of " + std::to_string(length) + " characters below a destination of " +
                                 std::to_string(destinationLength) + " exceeds the limit of " +
                                 std::to_string(limit) + ": " + relative);
    }
}

// Every level of a directory is one too: a file of its name stands in its way.
void ScriptCheck::NoteEntry(const std::string& path, script::EntryKind kind) {
    using script::EntryKind;
    std::size_t level = kind == EntryKind::Directory ? path.find('\\') : std::string::npos;
    for (;; level = path.find('\\', level + 1)) {
        const std::string noted = path.substr(0, level);
        const EntryKind nowKind = level == std::string::npos ? kind : EntryKind::Directory;
        const script::FoldedPaths::Clash clash = paths.Add(noted, nowKind);
        if (clash != script::FoldedPaths::Clash::None) {
            const std::size_t separator = noted.rfind('\\');
            const std::string name = noted.substr(separator == std::string::npos ? 0 : separator + 1);
            const std::string where =
                separator == std::string::npos ? " in the destination" : " in " + noted.substr(0, separator);
            if (nowKind == EntryKind::Directory && clash == script::FoldedPaths::Clash::LetterCase)
                Problem(commandLine, "directory " + noted + " differs only in letter case from an earlier one: " +
                                         SameOnWindows());
            else if (clash == script::FoldedPaths::Clash::LetterCase)
                Problem(commandLine, "file " + name + where + " differs only in letter case from an earlier file there: " +
                                         SameOnWindows());
            else
                Problem(commandLine, std::string(nowKind == EntryKind::File ? "file " : "directory ") + name + where +
                                         " has the name of an earlier " +
                                         (nowKind == EntryKind::File ? "directory" : "file") +
                                         " there, letter case aside: the installer cannot create it");
        }
        if (level == std::string::npos) break;
    }
}

void ScriptCheck::CopyLost(const std::string& file, const std::string& copy) {
    Problem(commandLine, "file " + copy + " would be lost: the conversion of " + file +
                             " writes its converted copy under that name and removes it");
}

// A file and the name its conversion writes, both installed: the copy is lost
// when the file is converted, by TEXTFILE or by TEXTDIR of its directory, in
// whichever order the commands come.
void ScriptCheck::NoteConversionCopy(const std::string& path) {
    const std::size_t separator = path.rfind('\\');
    const std::string directory = separator == std::string::npos ? "" : path.substr(0, separator);
    const bool directoryConverted = paths.Find(directory).marked;
    const std::string copy = script::ConversionCopy(path);
    const script::FoldedPaths::Noted copyNoted = paths.Find(copy);
    if (copyNoted.found && copyNoted.kind == script::EntryKind::File) {
        if (directoryConverted || paths.Find(path).marked) CopyLost(path, copy);
        else if (copyPairs.size() < ProblemsKept) copyPairs.push_back({directory, path});
    }
    const std::size_t suffix = sizeof script::TemporarySuffix - 1;
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    if (path.size() <= nameStart + suffix) return;
    const std::string file = path.substr(0, path.size() - suffix);
    if (paths.Rule().Fold(script::ConversionCopy(file)) != paths.Rule().Fold(path)) return;
    const script::FoldedPaths::Noted fileNoted = paths.Find(file);
    if (!fileNoted.found || fileNoted.kind != script::EntryKind::File) return;
    if (directoryConverted || fileNoted.marked) CopyLost(file, path);
    else if (copyPairs.size() < ProblemsKept) copyPairs.push_back({directory, file});
}

bool ScriptCheck::Write(const unsigned char* data, std::size_t size) {
    scriptBytes += size;
    digestWatcher.Write(data, size);
    const unsigned char* next = data;
    const unsigned char* const end = data + size;
    while (next < end) {
        if (dataLeft > 0) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(dataLeft, static_cast<std::uint64_t>(end - next)));
            lineNumber += static_cast<std::uint64_t>(std::count(next, next + take, '\n'));
            next += take;
            dataLeft -= take;
            fileBytes += take;
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

void ScriptCheck::Line(const std::string& text, bool whole) {
    using Stage = script::Reader::Stage;
    using Step = script::Reader::Step;
    const Stage stage = reader.At();
    if (text.find('\0') != std::string::npos) {
        if (stage == Stage::Parameters) {
            Problem(pieceLine, "a zero byte in this parameter line: the installer takes the value only up to it");
        } else if (stage != Stage::Header) {
            Problem(pieceLine, "a zero byte in this line: the installer reads it as an ordinary byte and "
                               "reads on after the line");
        }
    }
    // A piece of LinePiece bytes without its line end: the installer reads
    // the rest of the line as the next line.
    if (!whole && !lineTooLongNoted)
        Problem(pieceLine, "line longer than " + std::to_string(script::LinePiece) +
                               " bytes with its line end: the installer reads it in pieces");
    lineTooLongNoted = !whole;

    Stage before = stage;
    Step step = reader.Take(text);
    if (step == Step::MissingMarker) {
        Problem(pieceLine, Bracketed(reader.Current().command) + " needs a \"" + reader.Expected() + "\" line here" +
                               Rejects, true);
        before = reader.At();
        step = reader.Take(text);  // go on checking from this line
    }
    if (before == Stage::Commands && reader.At() == Stage::Parameters) commandLine = pieceLine;
    switch (step) {
    case Step::BadHeader:
        Problem(pieceLine, std::string("line 1 is not the package header \"") + script::Header + "\"", true);
        break;
    case Step::Unclosed:
        Problem(pieceLine, "section line without ']': the installer skips it: " + reader.Section());
        break;
    case Step::Unknown:
        Problem(pieceLine, "unknown section [" + reader.Section() + "]: the installer skips it and the lines after it");
        break;
    case Step::CommandRead:
        EndCommand();
        break;
    default:
        break;
    }
}

void ScriptCheck::EndCommand() {
    const script::ScriptCommand& command = reader.Current();
    using script::Command;
    const Command kind = command.command;
    ++commandCount;
    directoryCount += kind == Command::Dir;
    textCount += kind == Command::TextFile || kind == Command::TextDir;
    fileCount += kind == Command::File;
    if (onCommand) onCommand(command);

    if (command.sizeTooLarge) {
        Problem(pieceLine, "size " + command.sizeValue + " is above " + std::to_string(script::MaxSize) + Rejects,
                true);
    } else if (kind == Command::File && !command.PlainSize()) {
        Problem(pieceLine, "size \"" + command.sizeValue + "\" is not a plain number: the installer reads " +
                               std::to_string(command.size));
    }
    if (command.usedAsWritten)
        Problem(commandLine, Bracketed(kind) + " before any [DIR]: the installer takes " + command.name +
                                 " relative to its own working directory");
    for (const char c : command.name) {
        if (definedBytes[static_cast<unsigned char>(c)]) continue;
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(c));
        Problem(commandLine, "name " + command.name + " holds the byte " + hex + ", which code page " +
                                 std::to_string(codePageNumber) + " leaves undefined");
        break;
    }
    if (script::CodePage::LooksLikeUtf8(command.name))
        Problem(commandLine, "name " + command.name + " looks like UTF-8 read as code page " +
                                 std::to_string(codePageNumber) +
                                 ": packed without converting its names; pack the tree again");
    const std::string fault = script::NameFault(command);
    if (!fault.empty()) Problem(commandLine, fault, command.refusal != script::NameRefusal::None);
    if (script::ClearsDestination(command))
        Problem(commandLine, "[RMDIR] of the destination itself with its subdirectories: the installer "
                             "deletes everything in the destination, whatever it holds");
    if (kind == Command::TextDir && trackPaths) ConvertDirectory(command.name);
    if (kind == Command::Dir) {
        std::string directory = command.name;
        util::SlashesToBackslashes(directory);
        util::RemoveTrailingSeparator(directory);
        if (!directory.empty()) NotePath(directory, MaxDirectoryPath);
        currentDirectory = directory;
        util::AddTrailingBackslash(currentDirectory);
        if (trackPaths && !directory.empty()) NoteEntry(directory, script::EntryKind::Directory);
    }
    for (std::size_t i = 0; i < packageNames.size(); ++i) {
        if (!reader.TouchesScriptCopy(packageNames[i])) continue;
        const std::string what = Bracketed(kind) + " of " + command.name + " would change the installer's copy of the script";
        if (packageNames.size() == 1) {
            Problem(commandLine, what + Rejects, true);
        } else {
            refusedAs[i] = true;
            Problem(commandLine, "rejected as " + packageNames[i] + ": " + what);
        }
    }
    const std::string path = currentDirectory + command.name;
    if (kind == Command::File) {
        NotePath(path, MaxFilePath);
        std::string target = path;
        util::SlashesToBackslashes(target);
        if (trackPaths && !command.name.empty()) {  // an empty name was reported above
            NoteEntry(target, script::EntryKind::File);
            NoteConversionCopy(target);
        }
        for (const std::string& name : packageNames) {
            if (name != script::CorePackage || command.usedAsWritten ||
                !script::LostToWindowPackage(currentDirectory, command.name))
                continue;
            Problem(commandLine, std::string(packageNames.size() == 1 ? "" : "as ") +
                                     (packageNames.size() == 1 ? "" : name + ": ") + "file " + command.name +
                                     " would be lost: the window package, installed after this one, writes its copy "
                                     "of the script under that name at the destination's top and removes it");
        }
        if (script::IsSkippedFile(command.name))
            Problem(commandLine, "the installer never writes a file named " + command.name);
        dataLeft = static_cast<std::uint64_t>(command.size);
    } else if (kind == Command::TextFile) {
        NotePath(script::ConversionCopy(path), MaxFilePath);
        if (trackPaths) {
            std::string target = path;
            util::SlashesToBackslashes(target);
            paths.Mark(target);
            const script::FoldedPaths::Noted copy = paths.Find(script::ConversionCopy(target));
            if (copy.found && copy.kind == script::EntryKind::File) CopyLost(target, script::ConversionCopy(target));
        }
    }
}

void ScriptCheck::ConvertDirectory(const std::string& name) {
    std::string directory = name;
    util::SlashesToBackslashes(directory);
    util::RemoveTrailingSeparator(directory);
    paths.Mark(directory);
    const std::u32string folded = paths.Rule().Fold(directory);
    for (const CopyPair& pair : copyPairs) {
        if (paths.Rule().Fold(pair.directory) == folded) CopyLost(pair.file, script::ConversionCopy(pair.file));
    }
}

void ScriptCheck::Finish() {
    finishing = true;
    if (!splitter.Empty()) {
        Line(splitter.Line(), true);
        splitter.Clear();
    }
    const script::ScriptCommand& command = reader.Current();
    switch (reader.At()) {
    case script::Reader::Stage::Header:
        Problem(1, "the script is empty: no header line", true);
        break;
    case script::Reader::Stage::LineTwo:
        Problem(2, std::string("line 2 is missing") + Rejects, true);
        break;
    case script::Reader::Stage::Parameters:
        Problem(commandLine, "the script ends inside " + Bracketed(command.command) + Rejects, true);
        break;
    case script::Reader::Stage::Commands:
        if (dataLeft > 0)
            Problem(commandLine, "the data of " + command.name + " runs " + std::to_string(dataLeft) +
                                     " bytes past the end of the script" + Rejects, true);
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
