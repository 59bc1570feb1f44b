// The package script as the installer reads it: the header, the digest line,
// section and parameter lines, sizes, and the line pieces every read
// delivers. The installer and kdpack both read scripts through these, so the
// two cannot come to different readings of one script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "util/byte_stream.h"

namespace kd::script {

// Line 1, after normalisation.
inline constexpr char Header[] = "KELDO PACKAGE FILE";
// Line 2 of a script whose writer recorded a digest: this tag, then the
// SHA-256 of every byte after line 2 as 64 hexadecimal digits.
inline constexpr char DigestTag[] = "kdpack sha256 ";
constexpr std::size_t DigestSize = platform::Sha256::DigestSize;

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

// After the digest on line 2, a signature: this tag, then r and s as 128
// hexadecimal digits (platform::SignatureSize bytes).
inline constexpr char SignatureTag[] = "ecdsa-p256 ";
constexpr std::size_t SignatureSize = platform::SignatureSize;

// What follows the digest on line 2: nothing, a signature, or anything else
// (which an installer with keys refuses and one without ignores).
enum class SignatureField { None, Signature, Other };

struct DigestLine {
    bool hasDigest = false;
    unsigned char digest[DigestSize] = {};
    SignatureField field = SignatureField::None;
    unsigned char signature[SignatureSize] = {};
};

// Reads line 2 as read. Normalised, it carries a digest when it begins with
// DigestTag and 64 hexadecimal digits (either case) followed by its end or a
// blank; the rest is the signature field, a signature when it is exactly
// SignatureTag and 128 hexadecimal digits. Any other line is free text.
DigestLine ReadDigestLine(const std::string& line);

// Line 2 as kdpack writes it (no line end): the digest, then the signature
// unless it is null.
std::string DigestLineText(const unsigned char (&digest)[DigestSize],
                           const unsigned char (*signature)[SignatureSize]);

// Lower-case hexadecimal digits of `size` bytes.
std::string Hex(const unsigned char* bytes, std::size_t size);

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

// Reads the next line piece from the script stream, byte by byte so that
// zero bytes are kept, and gives it with one final LF and then one CR
// removed. Line at a piece, End at the end of the stream, Failed when the
// stream could not be read (which is no end: the rest of the script is
// unknown).
enum class LineRead { Line, End, Failed };
LineRead ReadLine(std::FILE* script, char (&buffer)[LineBufferSize], std::string& line);

// The same pieces from bytes given in blocks: the decoder's output, or the
// installer's stream.
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

// Watches a script as it is decoded: finds where line 2 ends, reads its
// digest, and hashes every byte after it, so the digest is known when the
// decoder is done without reading the script again.
class DigestWatcher : public ByteSink {
public:
    bool Write(const unsigned char* data, std::size_t size) override;

    // After the whole script was written: line 2 carried a digest (also a
    // line 2 that ends the script without a line end).
    bool HasDigest() { return Line().hasDigest; }
    // After the whole script was written: line 2 as read.
    const DigestLine& Line() {
        Finish();
        return lineTwo;
    }
    // After the whole script was written: the digest on line 2 is the one
    // of the rest. False when there is none or hashing failed.
    bool Matches();
    // The digest of the rest, as 64 digits (empty when hashing failed).
    std::string ActualHex();

private:
    void Finish();

    LineSplitter splitter;
    int linesSeen = 0;
    DigestLine lineTwo;
    bool finished = false;
    bool hashed = false;
    unsigned char actual[DigestSize] = {};
    platform::Sha256 hash;
};

}  // namespace kd::script
