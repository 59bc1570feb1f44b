// Records the installation in the machine-wide environment: KELDO names the
// destination and the installation's Bin directory takes its place in PATH.
#pragma once

#include <string>

#include "platform/platform.h"
#include "util/console.h"

namespace kd::driver {

// The new PATH, in registry units. Entries are compared with `oldBinText`
// with ASCII letters in any case and "/" as "\" (no other unit folds). The
// first entry naming oldBinText itself (blanks around it, one pair of
// enclosing quotes and one trailing "\" not counted) is replaced whole by
// binDirectory; else, in the first entry that begins (after blanks) with
// oldBinText and a "\", that text is; else the whole first entry holding
// "KELDO" in any case is; else binDirectory is appended after a ";" (none
// when `path` is empty). Only one entry changes; every other unit stays.
std::u16string RewritePath(const std::u16string& path, const std::u16string& binDirectory,
                           const std::u16string& oldBinText);

// The text of a stored PATH that may be rewritten: true, with `path` set, for
// a REG_SZ or REG_EXPAND_SZ value with at most one NUL, at its end. Any other
// type, or a NUL before the end, is a value to leave as it is (false).
bool RewritablePath(const std::u16string& stored, platform::ValueType type, std::u16string& path);

// Prints "\nUpdating environment...", writes KELDO (REG_SZ) and the rewritten
// PATH (REG_EXPAND_SZ) and broadcasts the change. Registry failures are passed
// over in silence; a PATH that exists but cannot be read, or is not a plain
// string (see RewritablePath), is left as it is. Returns the Bin directory of
// the destination.
std::string UpdateSystemEnvironment(util::Console& console, const std::string& destination,
                                    const std::string& defaultDestination);

}  // namespace kd::driver
