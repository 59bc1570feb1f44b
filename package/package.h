// KdPackage installs one compressed package into a destination directory:
// it decompresses the package into a temporary file there, checks the
// script's header and carries out its commands from front to back.
#pragma once

#include <span>
#include <string>

#include "util/console.h"

namespace kd::package {

// The exit status of a run interrupted by the user (Ctrl-C, a signal) while
// a package is installed: the installer's failure code, after the script
// copy and any conversion's temporary file are removed.
constexpr int InterruptedExit = -1;

class KdPackage {
public:
    // Progress goes to `console`: the standard output unless one is given.
    KdPackage() = default;
    // With `keys` (public keys in PEM), only packages signed by one of them
    // install; every other package is a bad package.
    explicit KdPackage(const util::Console& console, std::span<const char* const> keys = {})
        : console(console), keys(keys) {}
    virtual ~KdPackage() = default;

    // Installs `packagePath` into `destinationDirectory` (null: empty; with or
    // without a trailing separator). With showProgress the progress lines go to
    // the console; without it nothing is printed. Returns true on success;
    // on failure false, with the reason in errorText. A null packagePath fails
    // with "No package file" and touches nothing. What earlier commands did
    // stays in place after a failure; the temporary file never does.
    bool Install(const char* packagePath, const char* destinationDirectory, bool showProgress);
    bool Install(const std::string& packagePath, const std::string& destinationDirectory,
                 bool showProgress) {
        return Install(packagePath.c_str(), destinationDirectory.c_str(), showProgress);
    }

    // Rewrites the file `target` so that every line ends with CR LF: the
    // temporary file target + ".kd_temp" receives the converted text and is
    // renamed over the target. Returns true when the target has been
    // rewritten; false with the reason in errorText, the target as it was and
    // the temporary file deleted.
    bool ConvertTextFile(const std::string& target);

    // Empty after construction and at the start of every Install; after a
    // false result, the message of the failure followed by the path it names.
    std::string errorText;

private:
    util::Console console;
    std::span<const char* const> keys;
};

}  // namespace kd::package
