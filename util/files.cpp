// File access helpers. Operating-system independent: every system call goes
// through platform/.
#include "util/files.h"

#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace kd::util {

namespace {

constexpr int CopyBlockSize = 16384;
constexpr unsigned RetryPauseMs = 500;
constexpr std::int64_t RetrySeconds = 10;

// The 18 accepted mode strings; anything else opens nothing. "t" anywhere
// switches on text translation.
bool ParseMode(std::string_view mode, platform::OpenMode& info) {
    using platform::Access;
    using platform::Disposition;
    struct Row {
        std::string_view names[3];
        platform::OpenMode info;
    };
    static constexpr Row rows[] = {
        {{"r", "rb", "rt"}, {Access::Read, Disposition::OpenExisting, false}},
        {{"w", "wb", "wt"}, {Access::Write, Disposition::CreateAlways, false}},
        {{"a", "ab", "at"}, {Access::Write, Disposition::OpenAlways, true}},
        {{"r+", "r+b", "r+t"}, {Access::ReadWrite, Disposition::OpenExisting, false}},
        {{"w+", "w+b", "w+t"}, {Access::ReadWrite, Disposition::CreateAlways, false}},
        {{"a+", "a+b", "a+t"}, {Access::ReadWrite, Disposition::OpenAlways, true}},
    };
    for (const Row& row : rows) {
        for (std::string_view name : row.names) {
            if (name == mode) {
                info = row.info;
                info.text = mode.find('t') != std::string_view::npos;
                return true;
            }
        }
    }
    return false;
}

bool IsResourceShortage(platform::Error error) {
    return error == platform::Error::TooManyOpenFiles ||
           error == platform::Error::NotEnoughMemory || error == platform::Error::OutOfMemory;
}

// Calls `open` until it gives a stream, fails for a reason other than a
// shortage of handles or memory, or about 10 s have passed.
template <typename Open>
Stream OpenWithRetry(Open open) {
    platform::Error error = platform::Error::None;
    Stream stream = open(error);
    if (stream || !IsResourceShortage(error)) return stream;

    // Short of handles or memory: other processes may free some soon.
    // Whole seconds, as a clock of seconds would count them.
    const std::int64_t start = platform::Now() / 1000;
    for (;;) {
        platform::SleepMs(RetryPauseMs);
        stream = open(error);
        if (stream || platform::Now() / 1000 - start > RetrySeconds) return stream;
    }
}

}  // namespace

Stream OpenFileShared(const char* path, const char* mode) {
    if (!path || !*path || !mode) return nullptr;
    platform::OpenMode info;
    if (!ParseMode(mode, info)) return nullptr;
    return OpenWithRetry(
        [&](platform::Error& error) { return platform::OpenShared(path, info, error); });
}

Stream CreateFreshFile(const char* path, bool ownerOnly) {
    if (!path || !*path) return nullptr;
    const platform::Error removed = platform::RemoveName(path);
    if (removed != platform::Error::None && removed != platform::Error::NotFound) return nullptr;
    platform::OpenMode fresh{platform::Access::Write, platform::Disposition::CreateNew};
    fresh.ownerOnly = ownerOnly;
    return OpenWithRetry(
        [&](platform::Error& error) { return platform::OpenShared(path, fresh, error); });
}

bool FileExists(const char* path) {
    if (!path || !*path) return false;
    return OpenFileShared(path, "rb") != nullptr;
}

bool PathExists(const char* path) {
    if (!path) return false;
    std::string copy = path;
    if (copy.size() >= static_cast<std::size_t>(PathBufferSize)) return false;
    if (!copy.empty() && copy.back() == '/') copy.pop_back();
    if (!copy.empty() && copy.back() == '\\') copy.pop_back();
    if (copy.empty()) return false;
    platform::FindHandle search;
    platform::FindEntry entry;
    return search.First(copy.c_str(), entry);
}

void RemoveFile(const char* path) {
    if (path && *path) platform::EraseFile(path);
}

bool CopyStreamBytes(std::FILE* source, std::FILE* destination, std::int64_t offset,
                     std::int64_t count) {
    if (!source || !destination || offset < 0 || count < -1) return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[CopyBlockSize]);
    if (!buffer) return false;

    const std::int64_t size = StreamSize(source);
    if (size < 0 || offset > size || platform::Seek(source, offset, SEEK_SET) != 0) return false;
    if (count == -1 || count > size - offset) count = size - offset;

    while (count > 0) {
        const std::size_t block =
            static_cast<std::size_t>(count < CopyBlockSize ? count : CopyBlockSize);
        bool failed = false;
        if (platform::ReadBytes(source, buffer.get(), block, failed) != block) return false;
        if (platform::WriteBytes(destination, buffer.get(), block) != block) return false;
        count -= static_cast<std::int64_t>(block);
    }
    return true;
}

int ReadLineBytes(char* buffer, int size, std::FILE* stream, int& length) {
    length = 0;
    if (!buffer || !stream || size < 3) {
        if (buffer && size > 0) buffer[0] = '\0';
        return 0;
    }
    const int limit = size - 2;
    int taken = 0;
    while (taken < limit) {
        const int c = platform::ReadByte(stream);
        if (c == platform::ReadError) return -1;
        if (c == EOF) break;
        buffer[taken++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[taken] = '\0';
    length = taken;
    if (length > 0 && buffer[length - 1] == '\n') buffer[--length] = '\0';
    if (length > 0 && buffer[length - 1] == '\r') buffer[--length] = '\0';
    return taken;
}

std::int64_t StreamSize(std::FILE* stream) {
    if (!stream || platform::Seek(stream, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = platform::Tell(stream);
    if (size < 0 || platform::Seek(stream, 0, SEEK_SET) != 0) return -1;
    return size;
}

std::int64_t FileTell(std::FILE* stream) { return stream ? platform::Tell(stream) : -1; }

int FileSeek(std::FILE* stream, std::int64_t offset, int origin) {
    if (!stream || origin < 0 || origin > 2) return -1;
    static constexpr int origins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return platform::Seek(stream, offset, origins[origin]);
}

}  // namespace kd::util
