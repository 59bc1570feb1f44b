// The seven script commands: DIR, RMDIR, FILE, REMOVEFILE, EXEC, TEXTFILE
// and TEXTDIR, each acting on the parameters the reader read.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/listed_names.h"
#include "platform/platform.h"
#include "package/script_run.h"
#include "util/directories.h"
#include "util/files.h"
#include "util/names.h"
#include "util/strings.h"
#include "script/rules.h"
#include "trust/walk.h"

namespace kd::package {

ScriptRead ReadScriptLine(std::FILE* script, char (&buffer)[script::LineBufferSize], std::string& line) {
    int length = 0;
    const int taken = util::ReadLineBytes(buffer, script::LineBufferSize, script, length);
    if (taken < 0) return ScriptRead::Failed;
    if (taken == 0) return ScriptRead::End;
    line.assign(buffer, static_cast<std::size_t>(length));
    return ScriptRead::Line;
}

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool Succeeded(platform::Error error) { return error == platform::Error::None; }

}  // namespace

ScriptRun::ScriptRun(KdPackage& package, std::FILE* script, std::int64_t scriptLength,
                     std::string packagePath, std::string destinationDirectory,
                     const platform::DirHandle& destination, trust::Judge& judge, util::Console* progress)
    : package(package),
      script(script),
      scriptLength(scriptLength),
      packagePath(std::move(packagePath)),
      packageName(script::PackageFileName(this->packagePath)),
      destinationDirectory(std::move(destinationDirectory)),
      destination(destination),
      judge(judge),
      progress(progress) {
    platform::InfoOfStream(script, scriptIdentity);
}

trust::Level ScriptRun::OpenContaining(const std::string& relative, trust::Owners owners, platform::DirHandle& dir,
                                      std::string& leaf) {
    std::vector<std::string> names = trust::SplitLevels(relative);
    if (names.empty()) return trust::Level::Missing;
    leaf = names.back();
    names.pop_back();
    // A level that was a file at DIR holds nothing.
    if (dirSeen && !current) return trust::Level::Missing;
    trust::Walk walk{judge};
    return trust::WalkLevels(dirSeen ? current : nullptr, names, owners, dir, walk);
}

trust::Level ScriptRun::WalkWritten(const platform::DirHandle& start, const std::vector<std::string>& names,
                                    platform::DirHandle& opened, const platform::DirHandle*& at) {
    trust::Walk walk{judge};
    at = &start;
    for (const std::string& name : names) {
        // Judged before its child is opened in it, as DIR judges its levels.
        if (!judge.Written(*at)) return trust::Level::Refused;
        platform::DirHandle next;
        const trust::Level level = trust::OpenLevel(*at, name, true, next, walk);
        if (level != trust::Level::Usable) return level;
        opened = std::move(next);
        at = &opened;
    }
    return trust::Level::Usable;
}

bool ScriptRun::OpenWritable(const std::string& relative, platform::DirHandle& opened,
                             const platform::DirHandle*& dir, std::string& leaf) {
    if (!dirSeen) {
        dir = &opened;
        return OpenContaining(relative, trust::Owners::Everywhere, opened, leaf) == trust::Level::Usable;
    }
    std::vector<std::string> names = trust::SplitLevels(relative);
    if (names.empty() || !current) return false;
    leaf = names.back();
    names.pop_back();
    // Only levels that exist: a FILE makes none. The current directory was
    // judged by the DIR that made it so, unless a removal came since.
    return WalkWritten(*current, names, opened, dir) == trust::Level::Usable &&
           ((dir == current && levelsJudged) || judge.Written(*dir));
}

trust::Level ScriptRun::OpenBelowDestination(const std::string& relative, bool written, platform::DirHandle& dir) {
    const std::vector<std::string> levels = trust::SplitLevels(relative);
    if (!written) {
        trust::Walk walk{judge};
        return trust::WalkLevels(&destination, levels, trust::Owners::Ignored, dir, walk);
    }
    // The last level is the caller's to judge.
    const platform::DirHandle* at = nullptr;
    const trust::Level level = WalkWritten(destination, levels, dir, at);
    if (level != trust::Level::Usable || at != &destination) return level;
    trust::Walk walk{judge};
    return trust::OpenLevel(destination, ".", true, dir, walk);
}

bool ScriptRun::IsScript(const platform::EntryInfo& info) const {
    return info.type != platform::EntryType::Missing && platform::SameIdentity(info, scriptIdentity);
}

ScriptRun::Touches ScriptRun::ConversionTouchesScript(const platform::DirHandle& dir,
                                                      const std::string& name) const {
    platform::EntryInfo info, temporary;
    if (!Succeeded(platform::InfoAt(dir, name, info)) ||
        !Succeeded(platform::InfoAt(dir, name + script::TemporarySuffix, temporary))) {
        return Touches::Unknown;
    }
    return IsScript(info) || IsScript(temporary) ? Touches::Yes : Touches::No;
}

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

bool ScriptRun::Run(const script::Reader& reader) {
    const script::ScriptCommand& command = reader.Current();
    // Names that could reach outside the destination, sizes no script holds.
    if (command.Refused()) return BadPackage();
    // Writing over or converting the script being read would change it under
    // the reader: refused by the script's rule here, and by the file itself
    // (IsScript) for what the script cannot show (a short name, a name
    // before the first DIR).
    if (reader.TouchesScriptCopy(packageName)) return BadPackage();
    switch (command.command) {
    case script::Command::Dir: return Dir(command.name);
    case script::Command::RmDir: return EmptyDirectory(command.name, command.withSubdirectories);
    case script::Command::File: return File(command.name, command.size);
    case script::Command::RemoveFile: return RemoveFiles(command.name);
    case script::Command::TextFile: return TextFile(command.name);
    case script::Command::TextDir: return TextDirectory(command.name);
    case script::Command::Exec:  // read, and no further effect
    case script::Command::None: break;
    }
    return true;
}

namespace {

bool IsPlainFileOfOurs(const platform::DirHandle& dir, const std::string& name) {
    platform::EntryInfo info;
    return Succeeded(platform::InfoAt(dir, name, info)) && trust::Trusted(info.owner) &&
           (info.type == platform::EntryType::File || info.type == platform::EntryType::Special);
}

}  // namespace

bool ScriptRun::Dir(std::string directory) {
    util::SlashesToBackslashes(directory);

    // The name is shown up to a zero byte in it, as it always was.
    if (progress) Print(*progress, "\nDirectory " + std::string(directory.c_str()));

    // One level at a time from the destination down, each opened as a handle
    // and made where it is missing. Each is closed to others before what it
    // holds is judged (everything directly in it must be ours), and only
    // then is the next made or opened in it; a level judged once in this
    // installation is not judged again. An empty level names the
    // destination itself.
    trust::Walk walk{judge};
    std::string path = destinationDirectory;
    util::RemoveTrailingSeparator(path);
    if (!levelsJudged) {
        levelNames.clear();
        levels.clear();
        if (!judge.Closed(destination)) return Fail("cannot create directory: ", path);
    }
    // Levels the last DIR opened and judged are used again as far as both
    // name the same ones.
    std::vector<std::string> names;
    for (std::size_t at = 0;;) {
        const std::size_t separator = directory.find('\\', at);
        std::string name = directory.substr(at, separator == std::string::npos ? std::string::npos : separator - at);
        if (!name.empty()) names.push_back(std::move(name));
        if (separator == std::string::npos) break;
        at = separator + 1;
    }
    std::size_t shared = 0;
    while (shared < names.size() && shared < levelNames.size() && names[shared] == levelNames[shared]) {
        util::AddTrailingBackslash(path);
        path += names[shared++];
    }
    levelNames.resize(shared);
    levels.resize(shared);
    current = nullptr;
    bool isFile = false;   // a file of that name was passed over
    bool created = false;  // the last level was made just now
    for (std::size_t i = shared; i < names.size(); ++i) {
        const std::string& name = names[i];
        const platform::DirHandle& level = levels.empty() ? destination : levels.back();
        const std::string parentPath = path;
        util::AddTrailingBackslash(path);
        path += name;
        // A file below stands in the way of every further level.
        if (isFile) return Fail("cannot create directory: ", path);
        platform::DirHandle next;
        // Looked at before its parent's entries are judged, so that a
        // refused level is the one named; nothing is made before.
        const trust::Level opened = trust::OpenLevel(level, name, true, next, walk);
        if (opened == trust::Level::Refused) return Fail("cannot create directory: ", path);
        if (!judge.Written(level)) return Fail("cannot create directory: ", parentPath);
        if (opened == trust::Level::Missing) {
            const platform::Error error = platform::CreateDirectoryAt(level, name, false);
            // A file of that name passes as a level, as it always did;
            // what is put below it fails on its own.
            if (error == platform::Error::AlreadyExists && IsPlainFileOfOurs(level, name)) {
                isFile = true;
                continue;
            }
            // Made in a level closed and judged: closed and empty from its
            // birth. Its owner is asked once, by the judge.
            if (error != platform::Error::None || trust::OpenLevel(level, name, false, next, walk) != trust::Level::Usable ||
                !judge.Created(next)) {
                return Fail("cannot create directory: ", path);
            }
            created = i + 1 == names.size();
        }
        levelNames.push_back(name);
        levels.push_back(std::move(next));
    }
    if (!isFile) {
        current = levels.empty() ? &destination : &levels.back();
        if (!created && !judge.Written(*current)) return Fail("cannot create directory: ", path);
    }
    levelsJudged = true;

    currentDirectory = destinationDirectory;
    util::AddTrailingBackslash(currentDirectory);
    currentDirectory += directory;
    util::AddTrailingBackslash(currentDirectory);
    dirSeen = true;
    return true;
}

std::string ScriptRun::BelowDestination(std::string& relative) const {
    util::SlashesToBackslashes(relative);
    std::string directory = destinationDirectory;
    util::AddTrailingBackslash(directory);
    directory += relative;
    util::RemoveTrailingSeparator(directory);
    return directory;
}

bool ScriptRun::EmptyDirectory(std::string relative, bool withSubdirectories) {
    const std::string target = BelowDestination(relative);
    const char* subdirectoryFilter = withSubdirectories ? "*" : "";

    // Links on the way are followed only when a trusted owner made them;
    // below the target they are removed, never entered. A missing target
    // is already empty.
    platform::DirHandle dir;
    const trust::Level level = OpenBelowDestination(relative, false, dir);
    if (level == trust::Level::Missing) return true;
    if (level != trust::Level::Usable) return Fail("cannot remove directory: ", target);
    // Levels written into may go: they are let go, and judged anew when a
    // later command writes into what stands then.
    judge.Forget();
    levelsJudged = false;
    // The script being read may lie in the tree: it is passed over.
    if (!util::RemoveTreeAt(dir, "*", subdirectoryFilter, scriptIdentity)) {
        return Fail("cannot remove directory: ", target);
    }
    return true;
}

bool ScriptRun::File(const std::string& name, std::int64_t size) {
    // Step over the data whatever happens to the file. Data that runs past
    // the end of the script would leave a short file reported as written.
    const std::int64_t position = util::FileTell(script);
    if (position < 0 || size > scriptLength - position) return BadPackage();
    if (util::FileSeek(script, size, SEEK_CUR) != 0) return BadPackage();

    if (script::IsSkippedFile(name)) return true;

    const std::string target = currentDirectory + name;
    platform::DirHandle opened;
    const platform::DirHandle* in = nullptr;
    std::string leaf;
    if (!OpenWritable(name, opened, in, leaf)) return Fail("Cannot create file ", target);
    const platform::DirHandle& dir = *in;
    platform::EntryInfo old;
    if (!Succeeded(platform::InfoAt(dir, leaf, old))) return Fail("Cannot create file ", target);
    // Writing over the script being read would truncate it under the reader.
    if (IsScript(old)) return BadPackage();
    if (old.type != platform::EntryType::Missing) {
        // The old name goes and the file is made new in its place, so nothing
        // is written through whatever stood there. A read-only file with a
        // second name keeps its attribute, which that name shares.
        if (old.type == platform::EntryType::File && old.readOnly &&
            (old.nameCount > 1 || !Succeeded(platform::SetNormalAttributesAt(dir, leaf)))) {
            return Fail("Cannot create file ", target);
        }
        if (!Succeeded(platform::RemoveAt(dir, leaf, false))) return Fail("Cannot create file ", target);
    }
    platform::Error error = platform::Error::None;
    platform::Stream file = platform::OpenFileAt(dir, leaf, {platform::Access::Write, true, false}, error);
    if (!file) return Fail("Cannot create file ", target);
    if (!util::CopyStreamBytes(script, file.get(), position, size)) {
        return Fail("Cannot create file ", target);
    }
    // The last block may reach the disk only now.
    if (platform::CloseStream(std::move(file)) != 0) return Fail("Cannot create file ", target);
    return true;
}

bool ScriptRun::RemoveFiles(const std::string& name) {
    if (name.empty()) return true;  // names no file
    // Nothing is removed through another user's link, and no link of another
    // user goes; there is no failure to report.
    auto removable = [&](const platform::DirHandle& dir, const auto& leaf) {
        platform::EntryInfo info;
        return Succeeded(platform::InfoAt(dir, leaf, info)) &&
               info.type != platform::EntryType::Missing && !IsScript(info) &&
               (info.type != platform::EntryType::Link || trust::Trusted(info.owner));
    };
    if (name.front() != '*' && name.back() != '*') {
        platform::DirHandle dir;
        std::string leaf;
        if (OpenContaining(name, trust::Owners::Ignored, dir, leaf) == trust::Level::Usable && removable(dir, leaf)) {
            platform::RemoveAt(dir, leaf, false);
        }
        return true;
    }

    platform::DirHandle dir;
    std::vector<platform::FindEntry> entries;
    trust::Walk walk{judge};
    if (dirSeen ? !current : trust::WalkLevels(nullptr, {}, trust::Owners::Ignored, dir, walk) != trust::Level::Usable) {
        return true;
    }
    const platform::DirHandle& in = dirSeen ? *current : dir;
    if (!Succeeded(platform::ListAt(in, entries))) return true;
    // "*" alone keeps every name (empty suffix); a "*" inside is a plain byte.
    const bool bySuffix = name.front() == '*';
    const std::string part = bySuffix ? name.substr(1) : name.substr(0, name.size() - 1);
    for (const platform::FindEntry& entry : entries) {
        // A name the code page cannot hold is no name a pattern gives.
        if (entry.isDirectory || !platform::NameKept(entry)) continue;
        if (bySuffix ? !EndsWith(entry.name, part) : !StartsWith(entry.name, part)) continue;
        if (removable(in, entry)) platform::RemoveAt(in, entry, false);
    }
    return true;
}

bool ScriptRun::ConvertAt(const platform::DirHandle& dir, const std::string& name,
                          const std::string& target) {
    // Opened once, at the check: a link at the name is refused, and what was
    // checked is what is converted. Opened for writing too, so that a file
    // the conversion may not replace (read-only) is refused first.
    platform::Error error = platform::Error::None;
    platform::Stream file = platform::OpenFileAt(dir, name, {platform::Access::ReadWrite, false, false}, error);
    platform::EntryInfo info;
    // A file with a second name shares its data with that name, which may lie
    // outside the destination.
    if (!file || !Succeeded(platform::InfoOfStream(file.get(), info)) || !trust::Trusted(info.owner) ||
        info.nameCount > 1 || !ConvertInPlace(dir, name, std::move(file))) {
        return Fail("Cannot set text file ", target);
    }
    return true;
}

bool ScriptRun::TextFile(const std::string& name) {
    const std::string target = currentDirectory + name;
    platform::DirHandle opened;
    const platform::DirHandle* in = nullptr;
    std::string leaf;
    // In a level others may write they could put their own file in place of
    // the converted copy before the rename.
    if (!OpenWritable(name, opened, in, leaf)) return Fail("Cannot set text file ", target);
    const platform::DirHandle& dir = *in;
    // Converting the script, or a file whose temporary name is the script's,
    // would rewrite it under the reader.
    switch (ConversionTouchesScript(dir, leaf)) {
    case Touches::Yes: return BadPackage();
    case Touches::Unknown: return Fail("Cannot set text file ", target);
    case Touches::No: break;
    }
    return ConvertAt(dir, leaf, target);
}

bool ScriptRun::TextDirectory(std::string relative) {
    const std::string directory = BelowDestination(relative);

    // Taken whole before the first conversion, so the conversion's own
    // temporary files are not in it.
    platform::DirHandle dir;
    std::vector<platform::FindEntry> entries;
    // Closed and judged first: see TextFile.
    const trust::Level level = OpenBelowDestination(relative, true, dir);
    if (level == trust::Level::Missing) return true;  // nothing to convert
    std::string refused;
    if (level == trust::Level::Usable && !judge.Written(dir, &refused) && !refused.empty()) {
        std::string target = directory;
        util::AddTrailingBackslash(target);
        return Fail("Cannot set text file ", target + refused);
    }
    if (level != trust::Level::Usable || !judge.Written(dir) || !Succeeded(platform::ListAt(dir, entries))) {
        return Fail("cannot list directory: ", directory);
    }
    for (const platform::FindEntry& entry : entries) {
        if (entry.isDirectory) continue;
        std::string target = directory;
        util::AddTrailingBackslash(target);
        target += entry.name;
        // Another user's, as a name the code page cannot hold is.
        if (!platform::NameKept(entry)) return Fail("Cannot set text file ", target);
        // The script and its name's conversion are passed over.
        const Touches touches = ConversionTouchesScript(dir, entry.name);
        if (touches == Touches::Unknown) return Fail("Cannot set text file ", target);
        if (touches == Touches::Yes) continue;
        if (!ConvertAt(dir, entry.name, target)) return false;
    }
    return true;
}

}  // namespace kd::package
