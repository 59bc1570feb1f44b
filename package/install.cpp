// Install: the destination, the temporary script file, the header check and
// the command loop.
#include <cstdio>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "package/package_file.h"
#include "package/package.h"
#include "script/format.h"
#include "script/line2.h"
#include "script/rules.h"
#include "package/script_run.h"
#include "util/directories.h"
#include "util/files.h"
#include "util/strings.h"
#include "util/temporary_file.h"
#include "util/trust.h"

namespace kd {

bool KdPackage::Install(const char* packagePath, const char* destinationDirectory,
                        bool showProgress) {
    errorText.clear();
    if (packagePath == nullptr) {
        errorText = "No package file";
        return false;
    }

    const std::string destinationArgument = destinationDirectory ? destinationDirectory : "";
    std::string destination = destinationArgument;
    TrimString(destination, false, true);
    RemoveTrailingSeparator(destination);
    // A directory another user made, or a link another user planted, stays
    // under that user's control whatever goes into it.
    if (!IsUsableDestination(destination)) {
        errorText = "cannot use target directory: " + destination;
        return false;
    }
    if (!PathExists(destination.c_str()) && !CreateProtectedDirectory(destination.c_str())) {
        errorText = "cannot create target directory: " + destination;
        return false;
    }
    Console* const progress = showProgress ? &console : nullptr;
    if (progress) Print(*progress, "\nInstalling package " + std::string(packagePath));

    AddTrailingBackslash(destination);
    const std::string temporaryPath = destination + script::PackageFileName(packagePath) + script::TemporarySuffix;

    if (progress) Print(*progress, "\nUncompressing package file");
    // Declared before the stream, so the stream is closed before the delete;
    // from here on every way out deletes the decompressed script.
    const TemporaryFile temporary(temporaryPath);
    // The digest of line 2 is computed as the script is written, so checking
    // it costs no second read.
    script::DigestWatcher digest;
    if (DecompressPackageFile(packagePath, temporaryPath.c_str(), 0, &digest) != codec::DecodeOk) {
        errorText = "Cannot decompress package file";
        return false;
    }

    const Stream script = OpenFileShared(temporaryPath.c_str(), "r");
    const std::int64_t scriptLength = StreamSize(script.get());
    if (scriptLength < 0) {
        errorText = "Cannot open temporary package file " + temporaryPath;
        return false;
    }
    if (progress) Print(*progress, "\nVerifying package");

    ScriptRun run(*this, script.get(), scriptLength, packagePath, destinationArgument,
                  temporaryPath, progress);
    std::string text;
    if (!run.NextLine(text) || !script::IsHeader(text)) return run.BadPackage();
    if (!run.NextLine(text)) return run.BadPackage();
    // Line 2 is free text, unless it carries a digest: then the rest must be
    // what was packed before any command runs.
    if (digest.HasDigest() && !digest.Matches()) return run.BadPackage();
    // With keys, only a matching digest signed by one of them will do.
    if (!keys.empty()) {
        std::vector<platform::PublicKey> loaded;
        if (!script::LoadKeys(keys, loaded) || !digest.Matches() ||
            script::SigningKey(digest.Line(), loaded) < 0) {
            return run.BadPackage();
        }
    }

    std::string name;
    while (run.NextLine(text)) {
        if (!script::SectionName(text, name)) continue;
        if (!run.Command(name)) return false;
    }
    // A script that could not be read to its end is not a finished install.
    if (run.ReadFailed()) return run.BadPackage();
    return true;
}

}  // namespace kd
