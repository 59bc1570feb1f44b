// Terminal test for the native build.
#include <unistd.h>

#include "tools/kdpack/kdpack.h"

namespace kd {

bool IsTerminal(std::FILE* stream) { return stream && ::isatty(::fileno(stream)) == 1; }

}  // namespace kd
