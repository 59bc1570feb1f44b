// What kdpack's commands share: messages, progress on a terminal, and
// outputs written under a temporary name that never outlives the command.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "util/byte_stream.h"
#include "util/temporary_file.h"

namespace kd::kdpack {

class Progress;

struct Io {
    std::FILE* out;
    std::FILE* err;
    bool terminal;              // err is a terminal: progress is shown there
    bool outTerminal = false;   // out is a terminal too
    Progress* shown = nullptr;  // the progress line drawn on err, if any
};

// "kdpack: " and the formatted message on standard error, below any
// progress line, which is erased first.
void Fail(Io& io, const char* format, ...);
// Erases the progress line before a write to standard output when both are
// terminals; nothing otherwise.
void BeforeOutput(Io& io);
// Fail with `problem`, then the command's help; returns KdpackUsage.
int Usage(Io& io, const std::string& help, const char* problem);

// An option that takes a value, given as "NAME VALUE" or "NAME=VALUE"; each
// value is appended to `values`. `missing` is the problem when NAME ends the
// command line.
struct Option {
    const char* name;
    const char* missing;
    std::vector<std::string>* values;
};
// Splits a command's arguments into `positional` and the values of `options`.
// Returns -1 when every argument is understood; otherwise names the problem
// (a missing value, an unknown option) with the command's help and returns
// KdpackUsage.
int ParseArguments(Io& io, const std::string& help, const std::vector<std::string>& args,
                   std::initializer_list<Option> options, std::vector<std::string>& positional);

// The decoder's result numbers go with one of kdpack's own: the package
// cannot be opened (or the output not made). Its number is printed, so it
// stays 1.
constexpr int DecodeCannotOpen = 1;
// What a decoder result, or DecodeCannotOpen, means, for messages.
const char* DecodeMeaning(int result);
// A limit of whole GiB as messages give it: "2 GiB".
inline std::string InGiB(std::uint64_t bytes) { return std::to_string(bytes >> 30) + " GiB"; }
// The text after the last "\" or "/".
std::string BaseName(const std::string& path);

// Reads a key file whole into `text`; false when it cannot be read or is
// larger than any key file (1 MiB).
bool ReadKeyFile(const std::string& path, std::string& text);

// One line on standard error that shows how far a long step is: bytes done
// of the total, percentage, rate and time left. Only on a terminal, drawn
// at most ten times a second (the first time once the step has taken a
// tenth of a second) and erased when the step ends.
class Progress {
public:
    Progress(Io& io, const char* what, std::uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void Show(std::uint64_t done);
    void Erase();

private:
    Io& io;
    const char* what;
    std::uint64_t total;
    bool active;
    std::int64_t start = 0;
    std::int64_t drawnAt = 0;
    std::size_t drawnLength = 0;
};

// A byte source over an open stream at its start, showing how much of it
// has been read.
class ProgressSource : public util::ByteSource {
public:
    ProgressSource(Io& io, const char* what, std::FILE* stream);
    std::size_t Read(unsigned char* data, std::size_t size) override;
    bool Failed() const override { return source.Failed(); }

private:
    util::StreamSource source;
    std::uint64_t done = 0;
    Progress progress;
};

// TemporaryFile's Create and Close, saying what failed.
std::FILE* CreateTemporary(Io& io, util::TemporaryFile& file);
bool CloseTemporary(Io& io, util::TemporaryFile& file);

// Writes `target` through `target` + ".kdpack-tmp": `write` fills the new
// temporary file, which is then closed and renamed over the target. The
// target changes only when all of that succeeded; the temporary file never
// outlives the call. False after saying what failed (`write` says its own).
bool WriteReplacing(Io& io, const std::string& target, const std::function<bool(std::FILE*)>& write);

// Temporary names beside an output, which pack leaves out of its tree.
inline constexpr char OutputSuffix[] = ".kdpack-tmp";
inline constexpr char BodySuffix[] = ".kdpack-body";

}  // namespace kd::kdpack
