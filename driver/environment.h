// Records the installation in the machine-wide environment: KELDO names the
// destination and the installation's Bin directory takes its place in PATH.
#pragma once

#include <string>

#include "util/console.h"

namespace kd {

// The new PATH: the first occurrence of oldBinText (upper case; letters of
// `path` match in any case) is replaced by binDirectory in place; else the
// whole first entry that holds "KELDO" in any case is; else binDirectory is
// appended after a ";" (none when `path` is empty). Only one entry changes.
std::string RewritePath(const std::string& path, const std::string& binDirectory,
                        const std::string& oldBinText);

// Prints "\nUpdating environment...", writes KELDO (REG_SZ) and the rewritten
// PATH (REG_EXPAND_SZ) and broadcasts the change. Registry failures are passed
// over in silence; a PATH that exists but cannot be read is left as it is.
// Returns the Bin directory of the destination.
std::string UpdateSystemEnvironment(Console& console, const std::string& destination,
                                    const std::string& defaultDestination);

}  // namespace kd
