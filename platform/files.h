// Files and directories by path: opening with full sharing, streams and
// their checked reads and writes, deletion, renaming, searches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include "platform/error.h"

namespace kd::platform {

// ---- Files -----------------------------------------------------------------

enum class Access { Read, Write, ReadWrite };
// CreateNew makes a new file and fails with AlreadyExists when the name exists
// in any form (file, directory, link, dangling link); it never follows a link.
// Win32: CREATE_NEW. POSIX: O_CREAT | O_EXCL | O_NOFOLLOW.
enum class Disposition { OpenExisting, CreateAlways, OpenAlways, CreateNew };

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
// A buffered stream that is closed when it goes out of scope.
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// How a file is opened. `append` sends every write to the end; `text`
// translates line ends (Windows only; the POSIX stand-in has no translation).
struct OpenMode {
    Access access = Access::Read;
    Disposition disposition = Disposition::OpenExisting;
    bool append = false;
    bool text = false;
    // A file this open creates can be read and written by its owner only
    // (POSIX: mode 0600; Win32: a protected descriptor granting only the
    // owner's rights).
    bool ownerOnly = false;
};

// Opens a file with full sharing (read, write, delete) and a handle that child
// processes do not inherit, then wraps it in a buffered stream whose stdio
// mode follows from `mode` ("r", "w", "a", "r+", "w+" or "a+", with "t" or "b"
// on Windows). Win32: CreateFileA, _open_osfhandle (append and text flags),
// _fdopen. Returns null on failure and sets `error` to the reason of the
// failed open; a handle that cannot become a stream is closed (error Other).
Stream OpenShared(const char* path, const OpenMode& mode, Error& error);

// Deletes one file, as the C run-time's remove() does on Windows (DeleteFileA):
// a read-only file is refused with AccessDenied.
Error EraseFile(const char* path);

// Removes a name as a name: a file, an empty directory, or a link of either
// kind itself, never what a link points to. A read-only file is refused with
// AccessDenied. Win32: DeleteFileA, or RemoveDirectoryA for a directory or a
// directory link (under Wine, DeleteFileA on a link to a file deletes the target).
Error RemoveName(const char* path);

// True when both paths name the same existing file (same volume and file
// index, or device and inode), however the paths are spelled.
bool SameFile(const char* first, const char* second);

// Win32: SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY). Used by tests.
Error SetReadOnly(const char* path);

// Closes a finished output through the fault hook: 0, or EOF when buffered
// bytes could not be written (the stream is closed either way).
int CloseStream(Stream stream);

// fwrite through the fault hook: returns the number of bytes written.
std::size_t WriteBytes(std::FILE* stream, const void* data, std::size_t size);

// fread through the fault hook: the number of bytes read, fewer than `size`
// at the end of the file or after a read error, which sets `failed`.
std::size_t ReadBytes(std::FILE* stream, void* data, std::size_t size, bool& failed);

// getc through the fault hook: the byte (0 to 255), EOF at the end of the
// file, or ReadError after a read error.
constexpr int ReadError = -2;
int ReadByte(std::FILE* stream);

// fflush through the fault hook: 0, or EOF when buffered bytes could not be
// written.
int FlushStream(std::FILE* stream);

// Gives a finished file its final name, replacing a file of that name in one
// step. Win32: MoveFileExA with MOVEFILE_REPLACE_EXISTING. POSIX: rename.
// Only a regular file is replaced: a directory, link, device or pipe of that
// name is refused with AccessDenied and stays as it was, and so is a
// read-only file (Wine as root replaces one).
Error RenameReplacing(const char* from, const char* to);

// True when the stream is a terminal (a console), not a file or a pipe.
bool IsTerminal(std::FILE* stream);

// 64-bit tell and seek on a stream. Tell returns -1 on failure; Seek returns
// 0 on success, -1 on failure (origin SEEK_SET, SEEK_CUR or SEEK_END).
std::int64_t Tell(std::FILE* stream);
int Seek(std::FILE* stream, std::int64_t offset, int origin);

// ---- Directories -----------------------------------------------------------

struct FindEntry {
    std::string name;  // the entry's name, without its directory
    bool isDirectory = false;
    bool isLink = false;  // a symbolic link or junction (Win32: a reparse point)
    bool isSpecial = false;  // POSIX: a FIFO, socket or device; never on Win32
    std::u16string listedName;  // Win32 ListAt: the name as listed (platform/listed_names.h)
};

// A directory search, closed when it goes out of scope (FindClose).
// Win32: FindFirstFileA / FindNextFileA. The pattern's last component may hold
// the wildcards * and ?, matched as Windows does (letter case ignored); a
// search of "dir\*" also returns the entries "." and "..".
class FindHandle {
public:
    // Starts the search (ending one under way); false when nothing matches or
    // it cannot start.
    bool First(const char* pattern, FindEntry& entry);
    // The next entry; false when there is none left.
    bool Next(FindEntry& entry);

private:
    StatePointer<FindState> state;
};

// Win32: GetCurrentDirectoryA. Empty when it cannot be read. Paths use "\".
std::string CurrentDirectory();

}  // namespace kd::platform
