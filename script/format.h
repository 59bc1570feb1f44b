// The package script's syntax as the installer reads it: the header, section
// and parameter lines, sizes, and the line pieces every read delivers. The
// installer and kdpack both read scripts through these, so the two cannot
// come to different readings of one script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kd::script {

// Line 1, after normalisation.
inline constexpr char Header[] = "KELDO PACKAGE FILE";

inline constexpr char NameMarker[] = "Name = ";
inline constexpr char SizeMarker[] = "Size = ";
inline constexpr char WithsubdirMarker[] = "Withsubdir = ";

// Appended to a package's name for its decompressed script, and to a text
// file's name for its converted copy.
inline constexpr char TemporarySuffix[] = ".kd_temp";

// Lines are read through a buffer of this size: one read takes at most
// LinePiece bytes, the line end included, so longer lines come in pieces.
constexpr int LineBufferSize = 2048;
constexpr std::size_t LinePiece = LineBufferSize - 2;

// Largest FILE size, and the largest script: positions are signed 32-bit.
constexpr std::int64_t MaxSize = 0x7FFFFFFF;

// The commands in the order the installer tries their names.
enum class Command { None, Dir, RmDir, File, RemoveFile, Exec, TextFile, TextDir };

// A line normalised as the installer normalises every line it interprets:
// tabs to blanks, CR and LF deleted, runs of blanks to one, ends trimmed.
std::string Normalised(std::string line);

// `line` as read (line end removed) is the header.
bool IsHeader(const std::string& line);

// For a section line (normalised, "[" first and a "]" after it): true, with
// the normalised, upper-cased text between "[" and the first "]" in `name`.
bool SectionName(const std::string& line, std::string& name);

// The command a section name names; None for any other name.
Command CommandNamed(const std::string& name);
const char* CommandName(Command command);

// The parameter markers of a command in the order its lines follow it, and
// how many there are (RMDIR: Name, Withsubdir; FILE: Name, Size).
const char* const* Parameters(Command command, std::size_t& count);

// Finds `marker` in a parameter line as read and gives the value after its
// first occurrence: cut at a zero byte (the system sees a name only up to
// it), upper-cased first for Withsubdir, then normalised. False when the
// line lacks the marker: the package is bad.
bool ParameterValue(const std::string& line, const char* marker, std::string& value);

// A Size value: its leading decimal digits, 0 without any. False when the
// number passes MaxSize (however many digits follow): the package is bad.
bool ParseSize(const std::string& value, std::int64_t& size);

// True for a FILE name the installer steps over without writing (Thumbs.db
// in any letter case, with no directory part).
bool IsSkippedFile(const std::string& name);

// Line pieces from bytes given in blocks, as the installer's reads cut them:
// at most LinePiece bytes, up to and including a LF.
class LineSplitter {
public:
    // Takes bytes up to the end of the current piece; returns how many.
    std::size_t Take(const unsigned char* data, std::size_t size);
    // The piece is whole: its LF was taken, or it has LinePiece bytes.
    bool Complete() const { return complete; }
    bool Empty() const { return piece.empty(); }
    // The piece as read, and without its line end (as ReadLine gives it).
    const std::string& Piece() const { return piece; }
    std::string Line() const;
    bool EndsWithLineFeed() const { return !piece.empty() && piece.back() == '\n'; }
    void Clear();

private:
    std::string piece;
    bool complete = false;
};

}  // namespace kd::script
