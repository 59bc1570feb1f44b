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
#include "trust/walk.h"

namespace kd::package {

namespace {

// NotDirectory: a file of a trusted owner stands there; nothing can be made in it.
enum class Opened { Existing, Created, Refused, CannotCreate, NotDirectory };

// Opens the destination through handles: every level from the root of its
// volume (or of the working directory) down to its parent judged as a level
// above, every link on the way checked to its end and the levels above its
// target judged too; a missing last level is made closed to others.
Opened OpenDestination(const std::string& destination, trust::Judge& judge, platform::DirHandle& dir) {
    std::size_t rootLength = 0;
    std::vector<std::string> levels = trust::PathLevels(destination, rootLength);
    const std::string root = destination.substr(0, rootLength);
    trust::Walk walk{judge};
    if (levels.empty()) {
        if (rootLength == 0) return Opened::CannotCreate;
        const trust::Level level = trust::WalkAboveLevels(nullptr, root, {}, dir, walk, true);
        return level == trust::Level::Usable   ? Opened::Existing
               : level == trust::Level::Missing ? Opened::CannotCreate
                                               : Opened::Refused;
    }
    const std::string last = levels.back();
    levels.pop_back();
    platform::DirHandle parent;
    trust::Level level = trust::WalkAboveLevels(nullptr, root, levels, parent, walk, true);
    // Whoever may rename the parent or what it holds could move the
    // destination away after the installation and put their own in its place.
    if (level == trust::Level::Usable && !judge.Above(parent)) level = trust::Level::Refused;
    if (level != trust::Level::Usable) return level == trust::Level::Missing ? Opened::CannotCreate : Opened::Refused;
    level = trust::OpenLevel(parent, last, true, dir, walk);
    if (level != trust::Level::Missing) return level == trust::Level::Usable ? Opened::Existing : Opened::Refused;
    const platform::Error error = platform::CreateDirectoryAt(parent, last, true);
    if (error == platform::Error::AlreadyExists) {
        platform::EntryInfo info;
        return platform::InfoAt(parent, last, info) == platform::Error::None &&
                       trust::Trusted(info.owner) && info.type != platform::EntryType::Link
                   ? Opened::NotDirectory
                   : Opened::Refused;
    }
    if (error != platform::Error::None) return Opened::CannotCreate;
    level = trust::OpenLevel(parent, last, true, dir, walk);
    return level == trust::Level::Usable && judge.Created(dir) ? Opened::Created : Opened::Refused;
}

}  // namespace

bool KdPackage::Install(const char* packagePath, const char* destinationDirectory,
                        bool showProgress) {
    errorText.clear();
    if (packagePath == nullptr) {
        errorText = "No package file";
        return false;
    }

    const std::string destinationArgument = destinationDirectory ? destinationDirectory : "";
    // The directory is opened in the installer's form; the commands build
    // their messages on the argument as passed.
    std::string destination = util::DirectoryForm(destinationArgument);
    // A directory another user made, or a link another user planted, stays
    // under that user's control whatever goes into it. The destination is
    // held open from here on: every command acts inside this directory. Each
    // level is judged once in this call, and held while the judge lives.
    trust::Judge judge;
    platform::DirHandle dir;
    switch (OpenDestination(destination, judge, dir)) {
    case Opened::Refused:
        errorText = "cannot use target directory: " + destination;
        return false;
    case Opened::CannotCreate:
        errorText = "cannot create target directory: " + destination;
        return false;
    case Opened::Existing:
        // Closed, or refused when an administrator opened it on purpose.
        if (!judge.Closed(dir)) {
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
    // from here on every way out deletes the decompressed script, an
    // interrupt by the user included. It is made directly in the destination.
    util::TemporaryAt scriptFile;
    const platform::Stream input = util::OpenFileShared(packagePath, "rb");
    platform::Stream script =
        input && dir ? scriptFile.Create(dir, scriptName, platform::Access::ReadWrite, InterruptedExit) : nullptr;
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

    ScriptRun run(*this, script.get(), scriptLength, packagePath, destinationArgument, dir, judge, progress);
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
