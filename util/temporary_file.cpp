// Temporary files removed on every way out.
#include "util/temporary_file.h"

#include <utility>

#include "util/files.h"

namespace kd::util {

TemporaryFile::TemporaryFile(std::string path, int interruptExitCode) : path(std::move(path)) {
    // Watched before it exists, so that no moment leaves it behind.
    if (interruptExitCode >= 0) interruptSlot = platform::RemoveOnInterrupt(this->path.c_str(), interruptExitCode);
}

TemporaryFile::~TemporaryFile() {
    stream.reset();  // closed before the delete
    if (!kept) RemoveFile(path.c_str());
    platform::ForgetOnInterrupt(interruptSlot);
}

std::FILE* TemporaryFile::Create() {
    stream = CreateFreshFile(path.c_str());
    return stream.get();
}

bool TemporaryFile::Close() { return stream && platform::CloseStream(std::move(stream)) == 0; }

void TemporaryFile::Keep() {
    kept = true;
    platform::ForgetOnInterrupt(interruptSlot);
    interruptSlot = -1;
}

TemporaryAt::~TemporaryAt() {
    platform::ForgetOnInterrupt(interruptSlot);
    if (made) platform::RemoveAt(*dir, name, false);
}

void TemporaryAt::Keep() {
    platform::ForgetOnInterrupt(interruptSlot);
    interruptSlot = -1;
    made = false;
}

platform::Stream TemporaryAt::Create(const platform::DirHandle& in, std::string fileName, platform::Access access,
                                     int interruptExitCode) {
    dir = &in;
    name = std::move(fileName);
    const platform::Error old = platform::RemoveAt(in, name, false);
    if (old != platform::Error::None && old != platform::Error::NotFound) return nullptr;
    platform::Error error = platform::Error::None;
    platform::Stream stream = platform::OpenFileAt(in, name, {access, true, true}, error);
    made = stream != nullptr;
    // The moment between the create and the watch is a few instructions.
    if (made) interruptSlot = platform::RemoveOnInterruptAt(in, name, stream.get(), interruptExitCode);
    return stream;
}

}  // namespace kd::util
