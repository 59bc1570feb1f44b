// The running program in the POSIX stand-in: the path of its image, an
// elevated run unless a stand-in token says otherwise, never Wine, and no
// process guards to turn on.
#include <unistd.h>

#include <string>

#include "platform/fault_hook.h"
#include "platform/platform.h"

namespace kd::platform {

std::string ProgramPath() {
    std::string buffer(1024, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool RunsElevated() {
    const TokenAnswer answer = detail::StandInToken();
    return answer == TokenAnswer::System || answer == TokenAnswer::Elevated;
}

bool IsWine() { return false; }

ProcessProtection ProtectProcess() { return {}; }

}  // namespace kd::platform
