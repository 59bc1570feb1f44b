// The interrupt slots, for the handle-based watch in handles.cpp.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kd::platform::detail {

// Watches `path`, relative to the descriptor `directory` (or a path when it
// is -1), for removal on an interrupt. The slot, or -1.
int Watch(int directory, const std::string& path, int exitCode);

}  // namespace kd::platform::detail
