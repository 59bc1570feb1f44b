// The seam's error values, and the owning pointer behind which each
// implementation keeps its state. Included by every other seam header.
#pragma once

#include <memory>

namespace kd::platform {

// Portable form of the system's error codes. Numbers are stable.
enum class Error : int {
    None = 0,
    NotFound = 1,          // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ENOENT, ENOTDIR
    AccessDenied = 2,      // ERROR_ACCESS_DENIED, EACCES, EPERM, EISDIR
    TooManyOpenFiles = 3,  // ERROR_TOO_MANY_OPEN_FILES, EMFILE, ENFILE
    NotEnoughMemory = 4,   // ERROR_NOT_ENOUGH_MEMORY, ENOMEM
    OutOfMemory = 5,       // ERROR_OUTOFMEMORY
    SharingViolation = 6,  // ERROR_SHARING_VIOLATION
    AlreadyExists = 7,     // ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, EEXIST
    DiskFull = 8,          // ERROR_DISK_FULL, ENOSPC
    InvalidName = 9,       // ERROR_INVALID_NAME, ENAMETOOLONG
    Other = 10,
    IsLink = 11,           // a link where none is followed (ELOOP; a reparse point)
};

// Each implementation defines the state behind a search, a started process,
// the mutex and a digest, and deletes it out of line; portable code only holds
// the pointer.
struct FindState;
struct ProcessState;
struct MutexState;
struct HashState;
struct DirState;
struct KeyState;
struct ClosingState;
struct StateDeleter {
    void operator()(FindState* state) const;
    void operator()(DirState* state) const;
    void operator()(ProcessState* state) const;
    void operator()(MutexState* state) const;
    void operator()(HashState* state) const;
    void operator()(KeyState* state) const;
    void operator()(ClosingState* state) const;
};
template <typename State>
using StatePointer = std::unique_ptr<State, StateDeleter>;

}  // namespace kd::platform
