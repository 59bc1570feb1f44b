// Shared by both platform implementations: the stdio mode that a shared open
// hands to fdopen, derived from its OpenMode.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kd::platform::detail {

// "r", "w", "a", "r+", "w+" or "a+": what the stream may do. The file is
// already created or truncated by then, and appending is also a flag of the
// descriptor. The text or binary letter is the caller's to add.
inline std::string StdioMode(const OpenMode& mode) {
    const bool both = mode.access == Access::ReadWrite;
    if (mode.access == Access::Read) return "r";
    if (mode.append) return both ? "a+" : "a";
    if (!both) return "w";
    return mode.disposition == Disposition::OpenExisting ? "r+" : "w+";
}

}  // namespace kd::platform::detail
