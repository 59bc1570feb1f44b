// File access helpers: shared opens with retry, existence tests, deletion,
// byte-range copies and line reads. They never print; results say it all.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace kd::util {

using platform::Stream;

// Working paths are limited to this many bytes with their terminating zero;
// longer paths are refused, never cut.
constexpr int PathBufferSize = 2048;

// Opens `path` with full sharing. `mode` is one of the 18 standard strings
// ("r", "rb", "rt", "w", ..., "a+t"); "t" anywhere switches on text
// translation, every other mode is binary. Opens that fail for lack of handles
// or memory are retried every 500 ms for about 10 s. Null on failure.
Stream OpenFileShared(const char* path, const char* mode);

// Making a new file, one way for each purpose:
// - in a directory the installer holds open: platform::OpenFileAt with
//   createNew (FILE's data), or util::TemporaryAt for a private file removed on
//   every way out (the script copy, a conversion's copy);
// - an output by path that takes its final name when whole (kdpack's
//   outputs): util::TemporaryFile, which makes it with CreateFreshFile;
// - a file that must not exist yet and is never replaced (kdpack's key
//   files): platform::OpenShared with Disposition::CreateNew.
// OpenFileShared's "w" and "a" modes keep the helper's defined meaning for
// its callers; the installer makes no file through them.

// Creates `path` as a new, empty file opened for binary writing, and never
// opens what already stands there: an existing name (a leftover of a crash, or
// a planted link) is first removed as a name, never through the link. Retried
// like OpenFileShared when short of handles or memory. Null when the name cannot
// be removed or the file cannot be made new (the name came back in between).
// ownerOnly: nobody else may open it (platform::OpenMode::ownerOnly).
Stream CreateFreshFile(const char* path, bool ownerOnly = false);

// True if the file can be opened with mode "rb" (a directory cannot).
bool FileExists(const char* path);
// True if a file or directory of that name exists; one trailing "/" and then
// one trailing "\" are ignored, and wildcards in the path match.
bool PathExists(const char* path);
// Deletes the file if the path is not empty; the outcome is not reported.
void RemoveFile(const char* path);

// Copies `count` bytes (-1: to the end) from `offset` of the source to the
// destination, in 16384-byte blocks; both streams stay open. The count is
// clipped to the source's end. False on any failure; on success the source is
// positioned just after the copied range.
bool CopyStreamBytes(std::FILE* source, std::FILE* destination, std::int64_t offset,
                     std::int64_t count);

// Reads one line, which may hold zero bytes: at most size - 2 bytes up to and
// including a LF (a longer line comes back in pieces), sets `length` to the
// line's length once one final LF and then one CR are removed, and returns
// the number of bytes taken from the stream (0 only at the end of input), or
// -1 after a read error.
int ReadLineBytes(char* buffer, int size, std::FILE* stream, int& length);

// The size of the stream's file, found by seeking to its end; the stream is
// left at its start. -1 on failure, the position then unknown.
std::int64_t StreamSize(std::FILE* stream);

// Plain 64-bit tell (-1 on failure) and seek (0 or -1; origin 0 start,
// 1 current, 2 end).
std::int64_t FileTell(std::FILE* stream);
int FileSeek(std::FILE* stream, std::int64_t offset, int origin);

}  // namespace kd::util
