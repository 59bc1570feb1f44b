// ScriptCheck: reads a package script through the installer's reading rules,
// fed block by block straight from the decoder, hands each command on as it
// is read, and reports what the installer would refuse or silently get wrong.
// The rules are the script library's; counting, reporting and the
// destination-length estimate are kdpack's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "script/format.h"
#include "script/line2.h"
#include "util/byte_stream.h"

namespace kd::kdpack {

// Longest path Windows accepts without the long-path prefix, and the shorter
// limit of directory creation (room for an 8.3 name is kept).
constexpr std::size_t MaxFilePath = 259;
constexpr std::size_t MaxDirectoryPath = 247;

struct ScriptCommand {
    std::uint64_t line = 0;
    script::Command command = script::Command::None;
    std::string name;
    std::int64_t size = -1;  // FILE only
    bool withSubdirectories = false;  // RMDIR only
};

struct ScriptProblem {
    std::uint64_t line = 0;  // 0: the package as a whole
    std::string message;
    bool refused = false;    // the installer rejects the package for it (in the roles named)
};

// Paths noted by a hash of their upper-cased bytes and a hash of the bytes
// themselves: a second path that folds the same but differs is one Windows
// takes for the first. Twelve bytes a slot, at most 32 bytes a path while
// the table grows.
class FoldedPaths {
public:
    // False when an earlier path folds the same and differs in its bytes.
    bool Add(const std::string& path);
    // A mark on a noted path (files: it holds zero bytes); false for a path
    // never noted.
    void Mark(const std::string& path, bool on);
    bool Marked(const std::string& path) const;

private:
    std::size_t Find(std::uint64_t folded) const;  // its slot, or the empty one where it would go
    void Grow();
    std::vector<std::uint64_t> folded;  // 0: empty slot
    std::vector<std::uint32_t> exact;   // low bit: the mark
    std::size_t used = 0;
};

class ScriptCheck : public util::ByteSink {
public:
    // destinationLength: length of the destination directory the path
    // limits are checked under; packageNames: the names the installer may
    // read the package as (its copy of the script is named after it); one
    // rejection per name when there are several. Without trackPaths nothing
    // grows with the number of paths, and letter case and zero bytes are
    // not looked at.
    ScriptCheck(std::size_t destinationLength, std::vector<std::string> packageNames,
                bool trackPaths = true);

    bool Write(const unsigned char* data, std::size_t size) override;
    // The end of the script: checks what is left open.
    void Finish();
    // A problem of the container or the package as a whole.
    void Problem(std::uint64_t line, std::string message, bool refused = false);

    // Called with each command once its parameter lines are read.
    std::function<void(const ScriptCommand&)> onCommand;

    enum class Digest { None, Matches, Differs };
    // True once line 2 was read: only then can the script be signed.
    bool HasLineTwo() const { return state != State::Header && state != State::LineTwo; }
    // The installer rejects the package whatever its name, or under the
    // package name given.
    bool Refused() const { return refused; }
    // Line 2 as the installer reads it, after Finish.
    const script::DigestLine& LineTwo() { return digestWatcher.Line(); }
    // A problem that makes the installer reject the package, already reported.
    void Refuse() {
        ++problemCount;
        refused = true;
    }
    bool RefusedAs(const std::string& packageName) const;
    const std::vector<std::string>& PackageNames() const { return packageNames; }

    // The problems in the order found: the first ProblemsKept, and every
    // problem of the package as a whole (line 0) or of its end. A hostile
    // script can hold a problem every two bytes; the rest are only counted.
    static constexpr std::size_t ProblemsKept = 1000;
    std::vector<ScriptProblem> problems;
    std::uint64_t problemCount = 0;
    Digest digest = Digest::None;
    std::uint64_t scriptBytes = 0;
    std::uint64_t commandCount = 0;
    std::uint64_t directoryCount = 0;
    std::uint64_t fileCount = 0;
    std::uint64_t textCount = 0;
    std::uint64_t fileBytes = 0;
    std::size_t longestPath = 0;

private:
    enum class State { Header, LineTwo, Commands, Parameter, Data };

    void Line(std::string text, bool whole);
    void Command(const std::string& text);
    void Parameter(const std::string& text);
    void EndCommand();
    void NotePath(const std::string& path, std::size_t limit);
    bool CheckRelative(const std::string& name, bool directory);
    // Applies pack's name rules to each level of a name (a file's, or a
    // directory's when `directory`).
    void CheckComponents(const std::string& name, bool directory);

    std::size_t destinationLength;
    std::vector<std::string> packageNames;
    std::vector<bool> refusedAs;
    bool trackPaths;
    bool refused = false;
    bool finishing = false;
    State state = State::Header;
    script::LineSplitter splitter;
    script::DigestWatcher digestWatcher;
    bool lineTooLongNoted = false;
    std::uint64_t lineNumber = 1;  // of the next byte, as an editor counts
    std::uint64_t pieceLine = 1;   // where the piece being read began

    // The command whose parameter lines are being read.
    ScriptCommand current;
    std::size_t parametersRead = 0;
    std::uint64_t dataLeft = 0;
    bool dataHasZero = false;

    bool haveDirectory = false;
    std::string currentDirectory;  // relative to the destination, with a final "\" unless empty
    FoldedPaths files;
    FoldedPaths directories;
};

}  // namespace kd::kdpack
