// The state of one running Install: the open script, its line buffer, the
// current directory, and the seven commands that read their parameters from
// the script. Private to the package library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "package/package.h"
#include "package/script_format.h"
#include "util/console.h"

namespace kd {

class ScriptRun {
public:
    // `destinationDirectory` is the argument as passed to Install; commands
    // build their paths on it. `temporaryPath` is the script's own file.
    // Progress lines go to `progress` unless it is null.
    ScriptRun(KdPackage& package, std::FILE* script, std::int64_t scriptLength,
              std::string packagePath, std::string destinationDirectory,
              const std::string& temporaryPath, Console* progress);

    // The next script line, line end removed, in `text`; false at the end
    // or when the script could not be read (ReadFailed tells).
    bool NextLine(std::string& text);
    bool ReadFailed() const { return readFailed; }

    // Sets errorText to the bad-package message; returns false.
    bool BadPackage();
    // Sets errorText to `message` followed by `path`; returns false.
    bool Fail(const char* message, const std::string& path);

    // Carries out the command named `name` (normalised, upper case). Returns
    // false when it failed, with errorText set. Unknown names do nothing.
    bool Command(const std::string& name);

private:
    bool Dir();
    bool EmptyDirectory();
    bool File();
    bool RemoveFiles();
    bool Exec();
    bool TextFile();
    bool TextDirectory();

    // Reads the next line as the parameter `marker` (script::ParameterValue).
    // False for a bad package.
    bool ReadParameter(const char* marker, std::string& value);
    // Reads "Name = " and refuses names that could reach outside the
    // destination. relativeToCurrent: the name is appended to the current
    // directory (FILE, REMOVEFILE, EXEC, TEXTFILE) rather than to the
    // destination. False for a bad package.
    bool ReadName(std::string& name, bool relativeToCurrent);
    // RMDIR and TEXTDIR: the "Name = " directory below the destination, with
    // backslashes and no trailing separator. False for a bad package.
    bool ReadDestinationDirectory(std::string& directory);

    // How much of a path built on the current directory is the destination,
    // whose levels are checked from there down; 0 before the first DIR.
    std::size_t CurrentBaseLength() const;

    // True when `path` names the file this run reads its script from.
    bool IsRunningTemporaryFile(const std::string& path) const;
    // True when converting `target` would write over or delete the script.
    bool ConversionTouchesScript(const std::string& target) const;

    KdPackage& package;
    std::FILE* script;
    std::int64_t scriptLength;
    std::string packagePath;
    std::string destinationDirectory;
    std::size_t destinationLength = 0;  // without its trailing separator
    std::string temporaryPath;
    Console* progress;
    std::string currentDirectory;
    bool dirSeen = false;
    bool readFailed = false;
    char line[script::LineBufferSize];
};

}  // namespace kd
