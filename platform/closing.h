// Closing an entry to others through its own handle: the two primitives the
// portable closing walk (trust/closing.h) is written over.
#pragma once

#include <string>
#include <vector>
#include "platform/accounts.h"
#include "platform/directory_handles.h"
#include "platform/error.h"

namespace kd::platform {

// One entry held through its own handle while the closing of a directory
// judges and changes its access (trust/closing.h walks and decides).
using ClosingHandle = StatePointer<ClosingState>;

// Opens `name` of `dir` ("." for `dir` itself) as itself, a link never
// followed, to read and change its access. `info` describes it; `access` is
// its access list, entry by entry (POSIX: the group and other write bits as
// one inherited entry granting Other). A directory that is not a link is
// also opened as `directory`, for the walk below it. POSIX: anything but a
// directory is opened only by CloseHeld, and changed only if it is still what
// was judged. Win32: NtCreateFile relative to `dir` with
// FILE_OPEN_REPARSE_POINT for READ_CONTROL (WRITE_DAC by CloseHeld, opening
// the held object again through its handle); under Wine, which opens a Unix
// link's target, an entry whose handle names another path than its own is
// reported as a Link.
Error OpenToClose(const DirHandle& dir, const std::string& name, ClosingHandle& entry, EntryInfo& info,
                  AccessList& access, DirHandle& directory);

// Closes the held entry to others through its handle. With `parent` null (the
// directory the closing starts at): Win32 the protected descriptor of a
// closed new directory; otherwise the entry keeps the explicit entries of its
// access list that `keep` marks (same order) and gains what it inherits from
// `parent`'s access as last read or set, flagged inherited, set with
// SetKernelObjectSecurity (a link as itself; a link Wine followed is left
// alone). POSIX: the group and other write bits are cleared (a link has none).
Error CloseHeld(const ClosingHandle& entry, const std::vector<bool>& keep, const ClosingHandle* parent);

}  // namespace kd::platform
