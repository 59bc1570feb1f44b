// The installer's decode, file to file, as the benches time it: the package
// read through a shared open, the script written to a new or emptied file.
#pragma once

#include <cstdint>
#include <utility>

#include "codec/decoder.h"
#include "package/package_file.h"
#include "platform/platform.h"
#include "util/byte_stream.h"
#include "util/files.h"

namespace kd::bench {

// A decoder result, or -1 when either file cannot be opened.
inline int DecodeFile(const char* packagePath, const char* scriptPath, util::ByteSink* observer = nullptr) {
    platform::Stream package = util::OpenFileShared(packagePath, "rb");
    platform::Stream script = util::OpenFileShared(scriptPath, "wb");
    if (!package || !script) return -1;
    const int result = package::DecompressPackageStream(package.get(), script.get(), 0, observer);
    return platform::CloseStream(std::move(script)) == 0 ? result : codec::DecodeWriteFailed;
}

// Copies a whole file as the installer copies its bytes; false on any failure.
inline bool CopyFile(const char* sourcePath, const char* targetPath) {
    platform::Stream source = util::OpenFileShared(sourcePath, "rb");
    platform::Stream target = util::OpenFileShared(targetPath, "wb");
    return source && target && util::CopyStreamBytes(source.get(), target.get(), 0, -1) &&
           platform::CloseStream(std::move(target)) == 0;
}

}  // namespace kd::bench
