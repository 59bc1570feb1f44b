// A temporary file that is removed when it goes out of scope, unless kept;
// for a tool, also when the user interrupts the process.
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace kd::util {

class TemporaryFile {
public:
    // With interruptExitCode >= 0 the file is also removed when the user
    // interrupts the process, which then ends with that code.
    explicit TemporaryFile(std::string path, int interruptExitCode = -1);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file new for binary writing, never through what stands at
    // its name (a leftover is removed as a name first). Null on failure.
    std::FILE* Create();
    std::FILE* Stream() const { return stream.get(); }
    // Closes the stream made by Create; false when it was not open or its
    // buffered bytes could not be written.
    bool Close();

    const char* Path() const { return path.c_str(); }
    // The file stays: renamed away, or it holds the only complete text.
    void Keep();

private:
    std::string path;
    platform::Stream stream;
    int interruptSlot = -1;
    bool kept = false;
};

// A private temporary file made new in a directory held open, removed
// through that handle unless kept. The directory handle outlives it.
class TemporaryAt {
public:
    TemporaryAt() = default;
    ~TemporaryAt();
    TemporaryAt(const TemporaryAt&) = delete;
    TemporaryAt& operator=(const TemporaryAt&) = delete;

    // Removes a leftover at `name` as a name, never through a link, then
    // creates the file new, for this account alone and shared with nobody
    // who would write or delete it; it is also removed when the user
    // interrupts the process, which then ends with `interruptExitCode`.
    // Null on failure.
    platform::Stream Create(const platform::DirHandle& dir, std::string name, platform::Access access,
                            int interruptExitCode);
    void Keep();

private:
    const platform::DirHandle* dir = nullptr;
    std::string name;
    int interruptSlot = -1;
    bool made = false;
};

}  // namespace kd::util
