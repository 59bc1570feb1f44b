// Link and owner checks. Operating-system independent: the questions go
// through platform/.
#include "util/trust.h"

#include <cstring>

#include "platform/platform.h"
#include "util/files.h"
#include "util/strings.h"

namespace kd {

bool IsUntrustedLink(const std::string& path) {
    // With a separator at its end a name would be looked up through the link.
    std::size_t end = path.size();
    while (end > 1 && IsSeparator(path[end - 1])) --end;
    const std::string name = path.substr(0, end);
    return platform::KindOfName(name.c_str()) == platform::NameKind::Link &&
           !platform::OwnerTrusted(name.c_str());
}

bool PassesOnlyTrustedLinks(const std::string& path, std::size_t from) {
    if (from > path.size()) from = path.size();
    // Each level once: a run of separators, or one at the end, adds none.
    std::size_t checked = 0;
    auto trusted = [&](std::size_t end, bool& stop) {
        while (end > 0 && IsSeparator(path[end - 1])) --end;
        // A drive ("c:") as a level would name that drive's working directory.
        if (end == 0 || end <= checked || path[end - 1] == ':') return true;
        checked = end;
        const std::string level = path.substr(0, end);
        const platform::NameKind kind = platform::KindOfName(level.c_str());
        if (kind == platform::NameKind::Missing) {
            stop = true;
            return true;
        }
        return kind != platform::NameKind::Link || platform::OwnerTrusted(level.c_str());
    };
    bool stop = false;
    if (!trusted(from, stop)) return false;
    for (std::size_t at = from; !stop && at < path.size(); ++at) {
        if (IsSeparator(path[at]) && !trusted(at, stop)) return false;
    }
    return stop || trusted(path.size(), stop);
}

bool IsUsableDestination(const std::string& path) {
    // The levels above count too: one could be a link into another user's
    // folder, where the destination would be made or found.
    if (!PassesOnlyTrustedLinks(path, 0)) return false;
    return platform::KindOfName(path.c_str()) == platform::NameKind::Missing ||
           platform::OwnerTrusted(path.c_str());
}

bool CreateProtectedDirectory(const char* path) {
    if (!path || std::strlen(path) >= static_cast<std::size_t>(PathBufferSize)) return false;
    if (PathExists(path)) return true;
    return platform::CreateProtectedDir(path) == platform::Error::None;
}

}  // namespace kd
