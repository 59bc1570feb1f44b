// Closing a directory to others: the directory itself, then every entry below
// it, each changed through its own handle; a link is closed as itself and
// never entered. The walk and its rules are written here once for both
// platforms.
#pragma once

#include "platform/platform.h"

namespace kd::trust {

// Gives `dir` the access of a closed new directory, and every entry below it
// that others may write what it would inherit from there, keeping its
// explicit entries that grant others no write. Entries others may not write
// stay as they are. A file with a second name that would have to change is
// refused: AccessDenied, and nothing more is changed; any other failure to
// read or change an entry ends the walk with its error.
platform::Error CloseToOthers(const platform::DirHandle& dir);

}  // namespace kd::trust
