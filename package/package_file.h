// The decoder between a package stream and the decompressed script.
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

}  // namespace kd::package
