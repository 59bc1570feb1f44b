// Install: the destination, the temporary script file, the header check and
// the command loop.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "codec/decoder.h"
#include "package/package_file.h"
#include "package/package.h"
#include "script/format.h"
#include "script/line2.h"
#include "script/reader.h"
#include "script/rules.h"
#include "package/script_run.h"
#include "platform/platform.h"
#include "util/directories.h"
#include "util/files.h"
#include "util/strings.h"
#include "util/temporary_file.h"
#include "util/trust.h"

namespace kd::package {

namespace {

// NotDirectory: a file of a trusted owner stands there; nothing can be made in it.
enum class Opened { Existing, Created, Refused, CannotCreate, NotDirectory };

// Opens the destination level by level from its root, every link on the way
// checked to its end; a missing last level is made closed to others.
// `parent` receives the directory that holds it (none for a root).
Opened OpenDestination(const std::string& destination, platform::DirHandle& parent,
                       platform::DirHandle& dir) {
    std::size_t rootLength = 0;
    std::vector<std::string> levels = util::PathLevels(destination, rootLength);
    int links = util::LinkLimit;
    if (levels.empty()) {
        if (rootLength == 0) return Opened::CannotCreate;
        return util::WalkPath(nullptr, destination, util::Owners::AtEnd, dir, links) == util::Level::Usable
                   ? Opened::Existing
                   : Opened::Refused;
    }
    const std::string last = levels.back();
    levels.pop_back();
    platform::DirHandle root;
    if (rootLength > 0) {
        platform::Error error = platform::Error::None;
        root = platform::OpenDirectory(destination.substr(0, rootLength).c_str(), error);
        if (!root) return Opened::Refused;
    }
    const util::Level above = util::WalkLevels(root ? &root : nullptr, levels, util::Owners::Ignored, parent, links);
    if (above != util::Level::Usable) return above == util::Level::Missing ? Opened::CannotCreate : Opened::Refused;
    // Whoever may rename what the parent holds could move the destination
    // away after the installation and put their own in its place.
    if (!util::KeepsItsEntries(parent)) return Opened::Refused;
    util::Level level = util::OpenLevel(parent, last, true, dir, links);
    if (level != util::Level::Missing) return level == util::Level::Usable ? Opened::Existing : Opened::Refused;
    const platform::Error error = platform::CreateDirectoryAt(parent, last, true);
    if (error == platform::Error::AlreadyExists) {
        platform::EntryInfo info;
        return platform::InfoAt(parent, last, info) == platform::Error::None &&
                       util::Trusted(info.owner) && info.type != platform::EntryType::Link
                   ? Opened::NotDirectory
                   : Opened::Refused;
    }
    if (error != platform::Error::None) return Opened::CannotCreate;
    level = util::OpenLevel(parent, last, true, dir, links);
    return level == util::Level::Usable ? Opened::Created : Opened::Refused;
}

// The private script file, removed through its directory's handle once made.
class ScriptFile {
public:
    // Creates `path` (below `base`; a "\" or "/" in the package's name
    // makes levels) new, readable and writable by this account alone and
    // shared with nobody who would write or delete it; a leftover of an
    // earlier run is removed as a name first. Null on failure.
    platform::Stream Create(const platform::DirHandle& base, const std::string& path) {
        std::vector<std::string> levels = util::SplitLevels(path);
        if (levels.empty()) return nullptr;
        const std::string name = levels.back();
        levels.pop_back();
        int links = util::LinkLimit;
        if (util::WalkLevels(&base, levels, util::Owners::Everywhere, dir, links) != util::Level::Usable) return nullptr;
        return file.Create(dir, name, platform::Access::ReadWrite);
    }

private:
    platform::DirHandle dir;  // before the file, which is removed through it
    util::TemporaryAt file;
};

}  // namespace

bool KdPackage::Install(const char* packagePath, const char* destinationDirectory,
                        bool showProgress) {
    errorText.clear();
    if (packagePath == nullptr) {
        errorText = "No package file";
        return false;
    }

    const std::string destinationArgument = destinationDirectory ? destinationDirectory : "";
    std::string destination = destinationArgument;
    util::TrimString(destination, false, true);
    util::RemoveTrailingSeparator(destination);
    // A directory another user made, or a link another user planted, stays
    // under that user's control whatever goes into it. The destination is
    // held open from here on: every command acts inside this directory.
    platform::DirHandle parent, dir;
    switch (OpenDestination(destination, parent, dir)) {
    case Opened::Refused:
        errorText = "cannot use target directory: " + destination;
        return false;
    case Opened::CannotCreate:
        errorText = "cannot create target directory: " + destination;
        return false;
    case Opened::Existing:
        // Closed, or refused when an administrator opened it on purpose.
        if (!util::KeepFromOthers(dir)) {
            errorText = "cannot use target directory: " + destination;
            return false;
        }
        break;
    case Opened::Created:
    case Opened::NotDirectory:
        break;
    }
    util::Console* const progress = showProgress ? &console : nullptr;
    if (progress) util::Print(*progress, "\nInstalling package " + std::string(packagePath));

    util::AddTrailingBackslash(destination);
    const std::string scriptName = script::PackageFileName(packagePath) + script::TemporarySuffix;
    const std::string temporaryPath = destination + scriptName;

    if (progress) util::Print(*progress, "\nUncompressing package file");
    // Declared before the stream, so the stream is closed before the delete;
    // from here on every way out deletes the decompressed script.
    ScriptFile scriptFile;
    const platform::Stream input = util::OpenFileShared(packagePath, "rb");
    platform::Stream script = input && dir ? scriptFile.Create(dir, scriptName) : nullptr;
    // The digest of line 2 is computed as the script is written, so checking
    // it costs no second read; the commands then read the same file through
    // the same handle, never by name.
    script::DigestWatcher digest;
    util::ReadPercent watched(progress, input.get(), &digest);
    if (!script || DecompressPackageStream(input.get(), script.get(), 0, &watched) != codec::DecodeOk) {
        errorText = "Cannot decompress package file";
        return false;
    }

    const std::int64_t scriptLength = util::StreamSize(script.get());
    if (scriptLength < 0) {
        errorText = "Cannot open temporary package file " + temporaryPath;
        return false;
    }
    if (progress) util::Print(*progress, "\nVerifying package");

    ScriptRun run(*this, script.get(), scriptLength, packagePath, destinationArgument, dir, progress);
    script::Reader reader;
    std::string text;
    while (run.NextLine(text)) {
        switch (reader.Take(text)) {
        case script::Reader::Step::BadHeader:
        case script::Reader::Step::MissingMarker:
            return run.BadPackage();
        case script::Reader::Step::LineTwo:
            // Line 2 is free text, unless it carries a digest: then the rest
            // must be what was packed before any command runs.
            if (digest.HasDigest() && !digest.Matches()) return run.BadPackage();
            // With keys, only a matching digest signed by one of them will do.
            if (!keys.empty()) {
                std::vector<platform::PublicKey> loaded;
                if (!script::LoadKeys(keys, loaded) || !digest.Matches() ||
                    script::SigningKey(digest.Line(), loaded) < 0) {
                    return run.BadPackage();
                }
            }
            break;
        case script::Reader::Step::CommandRead:
            if (!run.Run(reader)) return false;
            if (progress) util::ShowPercent(*progress, script.get(), scriptLength);
            break;
        default:
            break;
        }
    }
    // A script that could not be read to its end is not a finished install,
    // nor one that ends before its commands or inside one.
    if (run.ReadFailed() || reader.At() != script::Reader::Stage::Commands) return run.BadPackage();
    return true;
}

}  // namespace kd::package
