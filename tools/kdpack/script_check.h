// ScriptCheck: reads a package script through the script library's reader,
// fed block by block straight from the decoder, hands each command on as it
// is read, and reports what the installer would refuse or silently get wrong.
// The rules are the script library's; counting, reporting and the
// destination-length estimate are kdpack's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "script/folded_paths.h"
#include "script/format.h"
#include "script/line2.h"
#include "script/reader.h"
#include "tools/kdpack/output.h"
#include "util/byte_stream.h"

namespace kd::kdpack {

// Longest path Windows accepts without the long-path prefix, and the shorter
// limit of directory creation (room for an 8.3 name is kept).
constexpr std::size_t MaxFilePath = 259;
constexpr std::size_t MaxDirectoryPath = 247;
// The destination lengths verify accepts ("C:\\" is the shortest), and the
// one it judges under unless told.
constexpr long ShortestDestination = 3;
constexpr long LongestDestination = 250;
constexpr long DefaultDestination = 40;

struct ScriptProblem {
    std::uint64_t line = 0;  // 0: the package as a whole
    std::string message;
    bool refused = false;    // the installer rejects the package for it (in the roles named)
};

// The code page of --code-page (the last given), loaded from the system.
// False after saying why it cannot be used (exit KdpackUsage).
bool ReadCodePage(Io& io, const std::string& help, const std::vector<std::string>& values, script::CodePage& codePage);

class ScriptCheck : public util::ByteSink {
public:
    // destinationLength: length of the destination directory the path
    // limits are checked under; packageNames: the names the installer may
    // read the package as (its copy of the script is named after it); one
    // rejection per name when there are several. Without trackPaths nothing
    // grows with the number of paths, and letter case and the files a
    // conversion would lose are not looked at.
    // Names are judged as written in `codePage`.
    ScriptCheck(std::size_t destinationLength, std::vector<std::string> packageNames, bool trackPaths = true,
                const script::CodePage& codePage = script::CodePage());

    bool Write(const unsigned char* data, std::size_t size) override;
    // The end of the script: checks what is left open.
    void Finish();
    // A problem of the container or the package as a whole.
    void Problem(std::uint64_t line, std::string message, bool refused = false);

    // Called with each command once its parameter lines are read.
    std::function<void(const script::ScriptCommand&)> onCommand;

    enum class Digest { None, Matches, Differs };
    // True once line 2 was read: only then can the script be signed.
    bool HasLineTwo() const {
        return reader.At() != script::Reader::Stage::Header && reader.At() != script::Reader::Stage::LineTwo;
    }
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
    void Line(const std::string& text, bool whole);
    void EndCommand();
    void NotePath(const std::string& path, std::size_t limit);
    void NoteEntry(const std::string& path, script::EntryKind kind);
    void NoteConversionCopy(const std::string& file);
    void ConvertDirectory(const std::string& name);
    void CopyLost(const std::string& file, const std::string& copy);

    std::string SameOnWindows() const;

    std::size_t destinationLength;
    std::vector<std::string> packageNames;
    std::vector<bool> refusedAs;
    bool trackPaths;
    bool refused = false;
    bool finishing = false;
    script::Reader reader;
    script::LineSplitter splitter;
    script::DigestWatcher digestWatcher;
    bool lineTooLongNoted = false;
    std::uint64_t lineNumber = 1;   // of the next byte, as an editor counts
    std::uint64_t pieceLine = 1;    // where the piece being read began
    std::uint64_t commandLine = 0;  // where the command being read began

    std::uint64_t dataLeft = 0;  // of the last FILE
    std::string currentDirectory;  // relative to the destination, with a final "\" unless empty
    // Files and directories below the destination, "\" between levels.
    script::FoldedPaths paths;
    int codePageNumber;
    std::vector<bool> definedBytes;
    // Files installed beside the name their conversion would write, not (yet)
    // converted: a later TEXTDIR of their directory loses the copy. Few in
    // any real package; a script of thousands keeps the first ProblemsKept.
    struct CopyPair {
        std::string directory, file;
    };
    std::vector<CopyPair> copyPairs;
};

}  // namespace kd::kdpack
