// The state of one running Install: the open script, its line buffer, the
// current directory, and the seven commands, which act on what the script
// library's reader read. Private to the package library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "package/package.h"
#include "platform/platform.h"
#include "script/format.h"
#include "script/line2.h"
#include "script/reader.h"
#include "util/console.h"
#include "trust/walk.h"

namespace kd::package {

// Converts the open file `target`, the file `name` of `dir`, to CR LF line
// ends in the temporary file name + ".kd_temp" made new in `dir`, closes
// `target`, and renames the temporary file over `name`. False on any
// failure, with `name` as it was and the temporary file removed.
bool ConvertInPlace(const platform::DirHandle& dir, const std::string& name, platform::Stream target);

// Reads the next line piece of the script stream, byte by byte so that
// zero bytes are kept, with one final LF and then one CR removed. Line at a
// piece, End at the end of the stream, Failed when the stream could not be
// read (no end: the rest of the script is unknown).
enum class ScriptRead { Line, End, Failed };
ScriptRead ReadScriptLine(std::FILE* script, char (&buffer)[script::LineBufferSize], std::string& line);

class ScriptRun {
public:
    // `destinationDirectory` is the argument as passed to Install; commands
    // build their paths on it. `destination` is that directory, opened and
    // checked; commands walk from it. The script is read from `script`.
    // Progress lines go to `progress` unless it is null.
    // `judge` holds what this installation has judged.
    ScriptRun(KdPackage& package, std::FILE* script, std::int64_t scriptLength,
              std::string packagePath, std::string destinationDirectory,
              const platform::DirHandle& destination, trust::Judge& judge, util::Console* progress);

    // The next script line, line end removed, in `text`; false at the end
    // or when the script could not be read (ReadFailed tells).
    bool NextLine(std::string& text);
    bool ReadFailed() const { return readFailed; }

    // Sets errorText to the bad-package message; returns false.
    bool BadPackage();
    // Sets errorText to `message` followed by `path`; returns false.
    bool Fail(const char* message, const std::string& path);

    // Carries out the command the reader has just read. Returns false when
    // it failed, with errorText set.
    bool Run(const script::Reader& reader);

private:
    bool Dir(std::string directory);
    bool EmptyDirectory(std::string relative, bool withSubdirectories);
    bool File(const std::string& name, std::int64_t size);
    bool RemoveFiles(const std::string& name);
    bool TextFile(const std::string& name);
    bool TextDirectory(std::string relative);

    // RMDIR and TEXTDIR: the directory `relative` names below the
    // destination, with no trailing separator; `relative` gets backslashes.
    std::string BelowDestination(std::string& relative) const;

    // Opens, level by level from the current directory (from the working
    // directory before the first DIR), the directory that holds the last
    // level of `relative`, which `leaf` receives.
    trust::Level OpenContaining(const std::string& relative, trust::Owners owners, platform::DirHandle& dir,
                               std::string& leaf);
    // The same for a name written into: after the first DIR, every level of
    // the name's own is judged as DIR judges its levels; before it, every
    // level must have a trusted owner (the working directory is not ours to
    // close). `dir` is set to the directory (the current one, or `opened`,
    // which holds a level of the name's own). False when it cannot be opened
    // or judged.
    bool OpenWritable(const std::string& relative, platform::DirHandle& opened, const platform::DirHandle*& dir,
                      std::string& leaf);
    // Opens the directory `relative` names below the destination, level by
    // level; `written`: every level is judged as DIR judges its levels.
    trust::Level OpenBelowDestination(const std::string& relative, bool written, platform::DirHandle& dir);
    // Walks `names` from `start`, each level judged as DIR judges its levels
    // before its child is opened in it; the last is left to the caller. `at`
    // is `start` or `opened`, which holds the last level.
    trust::Level WalkWritten(const platform::DirHandle& start, const std::vector<std::string>& names,
                             platform::DirHandle& opened, const platform::DirHandle*& at);

    // True when `info` is the file this run reads its script from.
    bool IsScript(const platform::EntryInfo& info) const;
    // Whether converting `name` in `dir` would rewrite the script: it is the
    // script, or its temporary name is. Unknown when either cannot be looked at.
    enum class Touches { No, Yes, Unknown };
    Touches ConversionTouchesScript(const platform::DirHandle& dir, const std::string& name) const;
    // Converts the file `name` of `dir` in place; false with errorText set
    // (bad package when it would touch the script).
    bool ConvertAt(const platform::DirHandle& dir, const std::string& name, const std::string& target);

    KdPackage& package;
    std::FILE* script;
    std::int64_t scriptLength;
    std::string packagePath;
    std::string packageName;  // the installer's copy of the script is named after it
    std::string destinationDirectory;
    const platform::DirHandle& destination;
    trust::Judge& judge;
    platform::EntryInfo scriptIdentity;
    util::Console* progress;
    std::string currentDirectory;
    // The levels the last DIR opened below the destination, by name, each
    // judged; the next DIR goes on from those it shares. Nobody else can
    // rename them (closed, and held on Windows); a removal makes them be
    // walked and judged again.
    std::vector<std::string> levelNames;
    std::vector<platform::DirHandle> levels;
    bool levelsJudged = false;
    // The current directory: the destination or the last of `levels`; null
    // before the first DIR and after one that met a file.
    const platform::DirHandle* current = nullptr;
    bool dirSeen = false;
    bool readFailed = false;
    char line[script::LineBufferSize];
};

}  // namespace kd::package
