// Helpers of the package suites: packages built from script text, the
// installed tree as a map, and a working directory changed for one test.
#pragma once

#include <map>
#include <string>

#include "package/package.h"
#include "support/scripted_console.h"
#include "support/temp_dir.h"

namespace kd::test {

// Every file below `root` with its content, and every directory (ending in
// "/") with an empty content; relative, "/"-separated.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const std::string& root);

// True if any file below `root` has a name ending in ".kd_temp".
bool HasTemporaryFile(const std::string& root);

// Writes `script` as a compressed package to `path`. False on failure.
bool WritePackage(const std::string& path, const std::string& script);

// The header and the second line of every test script, with CR LF ends.
inline const std::string Head = "KELDO PACKAGE FILE\r\nTest package\r\n";

// Every LF not preceded by CR becomes CR LF.
std::string WithCrLf(const std::string& text);

// Replaces every "{P}" with the package path and "{D}" with the destination.
std::string Expand(std::string text, const std::string& packagePath,
                   const std::string& destination);

// A package path, a destination and one KdPackage in a fresh directory; the
// package prints its progress to `console`.
struct Installation {
    TempDir dir;
    std::string packagePath = dir / "core.pkg";
    std::string destination = dir / "dest";
    ScriptedConsole console;
    package::KdPackage package{console.Get()};

    // Writes the package and installs it into `destination`.
    bool Install(const std::string& script, bool showProgress = false);
    std::string Expand(const std::string& text) const {
        return test::Expand(text, packagePath, destination);
    }
    Snapshot Installed() const { return TakeSnapshot(destination); }
};

// Makes `directory` the working directory until destruction.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& directory);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::string previous;
};

}  // namespace kd::test
