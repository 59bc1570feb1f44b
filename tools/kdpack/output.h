// What kdpack's commands share: messages, progress on a terminal, and
// outputs written under a temporary name that never outlives the command.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace kd::kdpack {

struct Io {
    std::FILE* out;
    std::FILE* err;
    bool terminal;
};

// "kdpack: " and the formatted message on standard error.
void Fail(Io& io, const char* format, ...);
// Fail with `problem`, then the command's help; returns KdpackUsage.
int Usage(Io& io, const char* help, const char* problem);

// What a decoder result means, for messages.
const char* DecodeMeaning(int result);
// The text after the last "\" or "/".
std::string BaseName(const std::string& path);

// A percentage on standard error, for long runs on a terminal only.
class Progress {
public:
    Progress(Io& io, const char* what, std::uint64_t total);
    ~Progress();
    void Show(std::uint64_t done);

private:
    Io& io;
    const char* what;
    std::uint64_t total;
    bool active;
    int shown = -1;
};

// A file created new for the command's own use, removed when the object
// goes, and also when the user interrupts the process.
class ScratchFile {
public:
    explicit ScratchFile(std::string path);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Creates the file new, never through what stands at its name (a
    // leftover is removed as a name first). Null after saying why.
    std::FILE* Create(Io& io);
    std::FILE* Stream() const { return stream.get(); }
    // Closes the stream, checking that everything reached the file; says
    // what failed.
    bool Close(Io& io);
    const std::string& Path() const { return path; }
    // The file is now someone else's (renamed away): nothing to remove.
    void Release();

private:
    std::string path;
    platform::Stream stream;
    int interruptSlot = -1;
    bool owned = false;
};

// Writes `target` through `target` + ".kdpack-tmp": `write` fills the new
// temporary file, which is then closed and renamed over the target. The
// target changes only when all of that succeeded; the temporary file never
// outlives the call. False after saying what failed (`write` says its own).
bool WriteReplacing(Io& io, const std::string& target, const std::function<bool(std::FILE*)>& write);

// Temporary names beside an output, which pack leaves out of its tree.
inline constexpr char OutputSuffix[] = ".kdpack-tmp";
inline constexpr char BodySuffix[] = ".kdpack-body";

}  // namespace kd::kdpack
