// Opening the files the decoder works between: a package file on disk and
// the decompressed script beside the installation.
#pragma once

#include <cstdint>
#include <cstdio>

#include "util/byte_stream.h"

namespace kd::package {

// Decompresses between two open streams, which stay open: the package from
// its position to its end, the script written and flushed (never closed).
// outputLimit as for PackageDecoder::Decode. An observer sees every block
// after it was written. Returns a decoder result.
int DecompressPackageStream(std::FILE* package, std::FILE* script, std::uint32_t outputLimit = 0,
                            util::ByteSink* observer = nullptr);

// The same from the package at packagePath into scriptPath, made new once the
// package is open (an existing name is removed as a name first, never written
// through): DecodeCannotOpen when the package cannot be opened or the script
// not made. Both files are closed on every path; the script is never deleted.
int DecompressPackageFile(const char* packagePath, const char* scriptPath,
                          std::uint32_t outputLimit = 0, util::ByteSink* observer = nullptr);

}  // namespace kd::package
