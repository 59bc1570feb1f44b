// The seven script commands: DIR, RMDIR, FILE, REMOVEFILE, EXEC, TEXTFILE
// and TEXTDIR, each reading its own parameter lines from the script.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "package/script_run.h"
#include "util/directories.h"
#include "util/files.h"
#include "util/names.h"
#include "util/strings.h"
#include "script/rules.h"
#include "util/trust.h"

namespace kd {

ScriptRead ReadScriptLine(std::FILE* script, char (&buffer)[script::LineBufferSize], std::string& line) {
    int length = 0;
    const int taken = ReadLineBytes(buffer, script::LineBufferSize, script, length);
    if (taken < 0) return ScriptRead::Failed;
    if (taken == 0) return ScriptRead::End;
    line.assign(buffer, static_cast<std::size_t>(length));
    return ScriptRead::Line;
}

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A file with a second name shares its data and attributes with that name,
// which may lie outside the destination: writing it in place changes both.
bool SharesItsData(const std::string& path) { return platform::NameCount(path.c_str()) > 1; }

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

ScriptRun::ScriptRun(KdPackage& package, std::FILE* script, std::int64_t scriptLength,
                     std::string packagePath, std::string destinationDirectory,
                     const std::string& temporaryPath, Console* progress)
    : package(package),
      script(script),
      scriptLength(scriptLength),
      packagePath(std::move(packagePath)),
      packageName(script::PackageFileName(this->packagePath)),
      destinationDirectory(std::move(destinationDirectory)),
      temporaryPath(temporaryPath),
      progress(progress) {
    std::string base = this->destinationDirectory;
    RemoveTrailingSeparator(base);
    destinationLength = base.size();
}

std::size_t ScriptRun::CurrentBaseLength() const { return dirSeen ? destinationLength : 0; }

bool ScriptRun::NextLine(std::string& text) {
    // Counted by bytes: a line that begins with a zero byte is a line like
    // any other, not the end of the script (which would skip the rest of a
    // damaged script and still report success).
    const ScriptRead read = ReadScriptLine(this->script, line, text);
    readFailed = readFailed || read == ScriptRead::Failed;
    return read == ScriptRead::Line;
}

bool ScriptRun::BadPackage() {
    package.errorText = "Bad package file " + packagePath;
    return false;
}

bool ScriptRun::Fail(const char* message, const std::string& path) {
    package.errorText = message + path;
    return false;
}

bool ScriptRun::Command(const std::string& name) {
    switch (script::CommandNamed(name)) {
    case script::Command::Dir: return Dir();
    case script::Command::RmDir: return EmptyDirectory();
    case script::Command::File: return File();
    case script::Command::RemoveFile: return RemoveFiles();
    case script::Command::Exec: return Exec();
    case script::Command::TextFile: return TextFile();
    case script::Command::TextDir: return TextDirectory();
    case script::Command::None: break;
    }
    return true;
}

bool ScriptRun::ReadParameter(const char* marker, std::string& value) {
    std::string text;
    if (!NextLine(text) || !script::ParameterValue(text, marker, value)) return BadPackage();
    return true;
}

bool ScriptRun::ReadName(std::string& name, bool relativeToCurrent) {
    if (!ReadParameter(script::NameMarker, name)) return false;
    // Before the first DIR a command's name is used as written.
    if (script::RefusedName(name, relativeToCurrent && !dirSeen) != script::NameRefusal::None) return BadPackage();
    return true;
}

bool ScriptRun::IsRunningTemporaryFile(const std::string& path) const {
    return platform::SameFile(path.c_str(), temporaryPath.c_str());
}

bool ScriptRun::TouchesScript(script::Command command, const std::string& name) const {
    return dirSeen && script::TouchesScriptCopy(command, currentRelative, name, packageName);
}

bool ScriptRun::ConversionTouchesScript(const std::string& target) const {
    // The conversion writes target + ".kd_temp" and then deletes it: for a
    // file named like the package that is the script itself.
    return IsRunningTemporaryFile(target) || IsRunningTemporaryFile(target + script::TemporarySuffix);
}

bool ScriptRun::Dir() {
    std::string directory;
    if (!ReadName(directory, false)) return false;
    SlashesToBackslashes(directory);

    std::string base = destinationDirectory;
    RemoveTrailingSeparator(base);
    // The name is shown up to a zero byte in it, as it always was.
    if (progress) Print(*progress, "\nDirectory " + std::string(directory.c_str()));
    // Every level is looked at before it is passed: a link another user put
    // there is never followed. The destination is made closed if it went.
    if (IsUntrustedLink(base) || !CreateProtectedDirectory(base.c_str())) {
        return Fail("cannot create directory: ", base);
    }
    AddTrailingBackslash(base);

    // One level at a time from the destination down; an empty level names
    // the base itself, which exists.
    std::string rest = directory;
    for (std::size_t separator; (separator = rest.find('\\')) != std::string::npos;) {
        std::string candidate = base + rest.substr(0, separator);
        rest.erase(0, separator + 1);
        if (IsUntrustedLink(candidate) || !CreateDirectoryPath(candidate.c_str())) {
            return Fail("cannot create directory: ", candidate);
        }
        AddTrailingBackslash(candidate);
        base = candidate;
    }
    if (!rest.empty()) {
        const std::string candidate = base + rest;
        if (IsUntrustedLink(candidate) || !CreateDirectoryPath(candidate.c_str())) {
            return Fail("cannot create directory: ", candidate);
        }
    }

    currentDirectory = destinationDirectory;
    AddTrailingBackslash(currentDirectory);
    currentDirectory += directory;
    AddTrailingBackslash(currentDirectory);
    currentRelative = directory;
    dirSeen = true;
    return true;
}

bool ScriptRun::ReadDestinationDirectory(std::string& directory) {
    std::string value;
    if (!ReadName(value, false)) return false;
    SlashesToBackslashes(value);
    directory = destinationDirectory;
    AddTrailingBackslash(directory);
    directory += value;
    RemoveTrailingSeparator(directory);
    return true;
}

bool ScriptRun::EmptyDirectory() {
    std::string target;
    if (!ReadDestinationDirectory(target)) return false;

    std::string withSubdirectories;
    if (!ReadParameter(script::WithsubdirMarker, withSubdirectories)) return false;
    const char* subdirectoryFilter = script::WithSubdirectories(withSubdirectories) ? "*" : "";

    // Links below the target are removed, never entered (RemoveTree); links on
    // the way to it are followed only when a trusted owner made them.
    if (!PassesOnlyTrustedLinks(target, destinationLength)) {
        return Fail("cannot remove directory: ", target);
    }
    // The script being read may lie in the tree: it is passed over.
    const bool removed = RemoveTree(target.c_str(), false, "*", subdirectoryFilter,
                                    temporaryPath.c_str());
    if (!removed) return Fail("cannot remove directory: ", target);
    return true;
}

bool ScriptRun::File() {
    std::string name;
    if (!ReadName(name, true)) return false;
    std::string sizeText;
    if (!ReadParameter(script::SizeMarker, sizeText)) return false;
    // Sizes beyond the signed 32-bit range cannot lie inside a script.
    std::int64_t size = 0;
    if (!script::ParseSize(sizeText, size)) return BadPackage();

    // Step over the data whatever happens to the file. Data that runs past
    // the end of the script would leave a short file reported as written.
    const std::int64_t position = FileTell(script);
    if (position < 0 || size > scriptLength - position) return BadPackage();
    if (FileSeek(script, size, SEEK_CUR) != 0) return BadPackage();

    if (script::IsSkippedFile(name)) return true;

    const std::string target = currentDirectory + name;
    // Writing over the script being read would truncate it under the reader:
    // refused by the script's rule, and by the file itself for what the
    // script cannot show (a short name, a name before the first DIR).
    if (TouchesScript(script::Command::File, name) || IsRunningTemporaryFile(target)) return BadPackage();
    // Nothing is written, and no attribute cleared, through another user's link.
    if (!PassesOnlyTrustedLinks(target, CurrentBaseLength())) {
        return Fail("Cannot create file ", target);
    }
    // Only this name is replaced; a read-only one stays, as clearing the
    // attribute would clear it on the other name too.
    if (SharesItsData(target) && platform::RemoveName(target.c_str()) != platform::Error::None) {
        return Fail("Cannot create file ", target);
    }
    if (FileExists(target.c_str())) platform::SetNormalAttributes(target.c_str());
    Stream file = OpenFileShared(target.c_str(), "wb");
    if (!file) return Fail("Cannot create file ", target);
    if (!CopyStreamBytes(script, file.get(), position, size)) {
        return Fail("Cannot create file ", target);
    }
    // The last block may reach the disk only now.
    if (platform::CloseStream(std::move(file)) != 0) return Fail("Cannot create file ", target);
    return true;
}

bool ScriptRun::RemoveFiles() {
    std::string name;
    if (!ReadName(name, true)) return false;
    if (name.empty()) return true;  // names no file
    if (name.front() != '*' && name.back() != '*') {
        const std::string path = currentDirectory + name;
        // Deleting the script would leave its name free for a later FILE on
        // POSIX only: pass over it on every platform.
        if (!IsRunningTemporaryFile(path) && PassesOnlyTrustedLinks(path, CurrentBaseLength())) {
            RemoveFile(path.c_str());
        }
        return true;
    }

    std::string directory = currentDirectory;
    RemoveTrailingSeparator(directory);
    // Never deletes through another user's link; there is no failure to report.
    if (!PassesOnlyTrustedLinks(directory, CurrentBaseLength())) return true;
    std::vector<std::string> names;
    ListDirectory(directory.c_str(), nullptr, names);
    // "*" alone keeps every name (empty suffix); a "*" inside is a plain byte.
    const bool bySuffix = name.front() == '*';
    const std::string part = bySuffix ? name.substr(1) : name.substr(0, name.size() - 1);
    for (const std::string& listed : names) {
        if (bySuffix ? !EndsWith(listed, part) : !StartsWith(listed, part)) continue;
        const std::string path = currentDirectory + listed;
        if (IsRunningTemporaryFile(path) || IsUntrustedLink(path)) continue;
        RemoveFile(path.c_str());
    }
    return true;
}

bool ScriptRun::Exec() {
    std::string name;
    return ReadName(name, true);
}

bool ScriptRun::TextFile() {
    std::string name;
    if (!ReadName(name, true)) return false;
    const std::string target = currentDirectory + name;
    // Converting the script being read would rewrite it under the reader.
    if (TouchesScript(script::Command::TextFile, name) || ConversionTouchesScript(target)) return BadPackage();
    if (!PassesOnlyTrustedLinks(target, CurrentBaseLength()) || SharesItsData(target)) {
        return Fail("Cannot set text file ", target);
    }
    if (!package.ConvertTextFile(target)) return Fail("Cannot set text file ", target);
    return true;
}

bool ScriptRun::TextDirectory() {
    std::string directory;
    if (!ReadDestinationDirectory(directory)) return false;

    // Taken whole before the first conversion, so the conversion's own
    // temporary files are not in it.
    std::vector<std::string> names;
    if (!PassesOnlyTrustedLinks(directory, destinationLength) ||
        !ListDirectory(directory.c_str(), nullptr, names)) {
        return Fail("cannot list directory: ", directory);
    }
    for (const std::string& listed : names) {
        std::string target = directory;
        AddTrailingBackslash(target);
        target += listed;
        if (ConversionTouchesScript(target)) continue;
        if (IsUntrustedLink(target) || SharesItsData(target)) {
            return Fail("Cannot set text file ", target);
        }
        if (!package.ConvertTextFile(target)) return Fail("Cannot set text file ", target);
    }
    return true;
}

}  // namespace kd
