// Byte sources and sinks: what the codec reads from and writes to, and the
// ones over memory and over an open stream. Streams are read and written
// through the platform seam, so tests can make either fail.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kd::util {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `data`; fewer only at the end or on a failure.
    virtual std::size_t Read(unsigned char* data, std::size_t size) = 0;
    // True once a read failed (rather than met the end).
    virtual bool Failed() const { return false; }
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when the bytes could not be taken.
    virtual bool Write(const unsigned char* data, std::size_t size) = 0;
    // Sends on what is buffered; false when that failed.
    virtual bool Flush() { return true; }
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes(bytes) {}
    std::size_t Read(unsigned char* data, std::size_t size) override;

private:
    std::string_view bytes;
};

// Collects what is written in a string.
class StringSink : public ByteSink {
public:
    bool Write(const unsigned char* data, std::size_t size) override {
        text.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string text;
};

// Reads an open stream from its position; the stream stays open.
class StreamSource : public ByteSource {
public:
    explicit StreamSource(std::FILE* stream) : stream(stream) {}
    std::size_t Read(unsigned char* data, std::size_t size) override;
    bool Failed() const override { return failed; }

private:
    std::FILE* stream;
    bool failed = false;
};

// Writes to an open stream, then hands the same bytes to `observer` (false
// from it fails the write); the stream stays open.
class StreamSink : public ByteSink {
public:
    explicit StreamSink(std::FILE* stream, ByteSink* observer = nullptr)
        : stream(stream), observer(observer) {}
    bool Write(const unsigned char* data, std::size_t size) override;
    bool Flush() override;

private:
    std::FILE* stream;
    ByteSink* observer;
};

}  // namespace kd::util
