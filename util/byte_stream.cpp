// Byte sources and sinks over memory and over open streams.
#include "util/byte_stream.h"

#include <cstring>

#include "platform/platform.h"

namespace kd::util {

std::size_t MemorySource::Read(unsigned char* data, std::size_t size) {
    const std::size_t count = size < bytes.size() ? size : bytes.size();
    if (count) std::memcpy(data, bytes.data(), count);
    bytes.remove_prefix(count);
    return count;
}

std::size_t StreamSource::Read(unsigned char* data, std::size_t size) {
    bool readFailed = false;
    const std::size_t count = platform::ReadBytes(stream, data, size, readFailed);
    failed = failed || readFailed;
    return count;
}

bool StreamSink::Write(const unsigned char* data, std::size_t size) {
    if (platform::WriteBytes(stream, data, size) != size) return false;
    return observer == nullptr || observer->Write(data, size);
}

bool StreamSink::Flush() { return platform::FlushStream(stream) == 0; }

}  // namespace kd::util
