// Terminal test for the Windows build: a console, not a file or pipe.
#include <io.h>
#include <stdio.h>

#include "tools/kdpack/kdpack.h"

namespace kd {

bool IsTerminal(std::FILE* stream) { return stream && ::_isatty(::_fileno(stream)) != 0; }

}  // namespace kd
