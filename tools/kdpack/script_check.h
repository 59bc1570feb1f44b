// ScriptCheck: reads a package script as the installer will, fed block by
// block straight from the decoder, and collects its commands and everything
// the installer would refuse or silently get wrong.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "tools/kdpack/sha256.h"

namespace kd {

// The installer reads script lines into a 2048-byte buffer: at most 2046
// bytes, the line end included, per read.
constexpr std::size_t ScriptLinePiece = 2046;
// Longest path Windows accepts without the long-path prefix, and the shorter
// limit of directory creation (room for an 8.3 name is kept).
constexpr std::size_t MaxFilePath = 259;
constexpr std::size_t MaxDirectoryPath = 247;
// What pack writes on line 2, before the digest of everything after line 2.
inline constexpr char DigestTag[] = "kdpack sha256 ";

struct ScriptCommand {
    std::uint64_t line = 0;
    std::string command;  // DIR, FILE, ... as the installer names it
    std::string name;
    std::int64_t size = -1;  // FILE only
};

struct ScriptProblem {
    std::uint64_t line = 0;  // 0: the package as a whole
    std::string message;
};

class ScriptCheck : public DecodeSink {
public:
    // destinationLength: length of the destination directory the path
    // limits are checked under; packageName: the package file's name, which
    // the installer's temporary copy is named after.
    ScriptCheck(std::size_t destinationLength, std::string packageName);

    bool Write(const unsigned char* data, std::size_t size) override;
    // The end of the script: checks what is left open.
    void Finish();

    enum class Digest { None, Matches, Differs };
    // True once line 2 was read: only then can the script be signed.
    bool HasLineTwo() const { return hashing; }

    std::vector<ScriptCommand> commands;
    std::vector<ScriptProblem> problems;
    Digest digest = Digest::None;
    std::uint64_t scriptBytes = 0;
    std::uint64_t fileBytes = 0;
    std::size_t longestPath = 0;
    std::string longestPathText;

private:
    enum class State { Header, LineTwo, Commands, Parameter, Data, Stopped };

    void Line(std::string& text, bool complete);
    void Command(const std::string& raw);
    void Parameter(const std::string& raw);
    void EndCommand();
    void Problem(std::uint64_t line, std::string message);
    void NotePath(const std::string& path, std::size_t limit);
    bool CheckRelative(const std::string& name, bool directory);
    // Applies pack's name rules to each level of a name (a file's, or a
    // directory's when `directory`).
    void CheckComponents(const std::string& name, bool directory);
    struct Earlier {
        std::string path;
        std::uint64_t line = 0;
    };
    // Notes `path` by its ASCII-folded form; a problem when an earlier one
    // folds the same but differs in its bytes.
    void CheckCase(std::map<std::string, Earlier>& earlier, const std::string& path, const char* what);

    std::size_t destinationLength;
    std::string packageName;
    State state = State::Header;
    std::string line;            // the piece being read
    bool lineTooLongNoted = false;
    std::uint64_t lineNumber = 1;        // of the next byte, as an editor counts
    std::uint64_t pieceLine = 1;         // where the piece being read began
    bool hashing = false;
    Sha256 hash;
    std::string expectedDigest;

    // The command whose parameter lines are being read.
    ScriptCommand current;
    std::vector<std::string> parameters;  // markers still to come
    std::string withSubdirectories;
    std::uint64_t dataLeft = 0;
    bool dataHasZero = false;

    bool haveDirectory = false;
    std::string currentDirectory;  // relative to the destination, with a final "\" unless empty
    std::map<std::string, bool> zeroBytesByFile;  // files written so far
    std::map<std::string, Earlier> filesByFolded;
    std::map<std::string, Earlier> directoriesByFolded;
};

}  // namespace kd
