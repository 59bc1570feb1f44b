// Walks through directory handles. Operating-system independent: the
// questions go through platform/.
#include "trust/walk.h"

#include <utility>

#include "platform/platform.h"
#include "util/strings.h"

namespace kd::trust {

namespace {

bool Succeeded(platform::Error error) { return error == platform::Error::None; }

}  // namespace

std::vector<std::string> PathLevels(const std::string& path, std::size_t& rootLength) {
    std::size_t at = 0;
    if (path.size() >= 2 && path[1] == ':') {
        at = path.size() >= 3 && util::IsSeparator(path[2]) ? 3 : 2;
    } else if (path.size() >= 2 && util::IsSeparator(path[0]) && util::IsSeparator(path[1])) {
        // "\\server\share\": two more levels belong to the root.
        at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !util::IsSeparator(path[at])) ++at;
            if (at < path.size()) ++at;
        }
    } else if (!path.empty() && util::IsSeparator(path[0])) {
        at = 1;
    }
    rootLength = at;
    return SplitLevels(path.substr(at));
}

std::vector<std::string> SplitLevels(const std::string& path) {
    std::vector<std::string> levels;
    for (std::size_t at = 0; at < path.size();) {
        std::size_t end = at;
        while (end < path.size() && !util::IsSeparator(path[end])) ++end;
        std::string level = path.substr(at, end - at);
        if (!level.empty() && level != ".") levels.push_back(std::move(level));
        at = end + 1;
    }
    return levels;
}

Level OpenLevel(const platform::DirHandle& dir, const std::string& name, bool ownerMatters,
                platform::DirHandle& out, Walk& walk) {
    platform::Error error = platform::Error::None;
    out = platform::OpenDirectoryAt(dir, name, error);
    platform::EntryInfo info;
    if (Succeeded(error)) {
        if (!ownerMatters) return Level::Usable;
        // Asked of the handle: the directory that was opened, not the name.
        return Succeeded(platform::InfoOf(out, info)) && Trusted(info.owner) ? Level::Usable : Level::Refused;
    }
    if (error == platform::Error::NotFound) return Level::Missing;
    // Anything that cannot be told from a link counts as an untrusted one.
    if (error != platform::Error::IsLink || --walk.linksLeft < 0 || !walk.judge.LinkAbove(dir, name)) {
        return Level::Refused;
    }
    std::string target;
    if (!Succeeded(platform::ReadLinkAt(dir, name, target))) return Level::Refused;
    // A missing target is refused too: nothing is made through a link.
    std::size_t rootLength = 0;
    const std::vector<std::string> levels = PathLevels(target, rootLength);
    return WalkAboveLevels(&dir, target.substr(0, rootLength), levels, out, walk, false) == Level::Usable
               ? Level::Usable
               : Level::Refused;
}

namespace {

// Judges the directory `start` holds and every level above it, up to the
// root of its volume, as levels above: for a path given relative to it.
bool AncestorsAbove(const platform::DirHandle& start, Walk& walk) {
    platform::DirHandle current;
    const platform::DirHandle* level = &start;
    platform::EntryInfo info, parentInfo;
    // Deeper than any path the installer takes: a loop, not a tree.
    for (int depth = 0; depth < 1024; ++depth) {
        if (!walk.judge.Above(*level) || !Succeeded(platform::InfoOf(*level, info))) return false;
        platform::Error error = platform::Error::None;
        platform::DirHandle parent = platform::OpenDirectoryAt(*level, "..", error);
        if (!parent || !Succeeded(platform::InfoOf(parent, parentInfo))) return false;
        // The root is its own parent.
        if (platform::SameIdentity(parentInfo, info)) return true;
        current = std::move(parent);
        level = &current;
    }
    return false;
}

}  // namespace

Level WalkAboveLevels(const platform::DirHandle* start, const std::string& root,
                      const std::vector<std::string>& levels, platform::DirHandle& out, Walk& walk,
                      bool missingAbove) {
    platform::DirHandle current;
    if (!root.empty() || !start) {
        platform::Error error = platform::Error::None;
        current = platform::OpenDirectory(root.empty() ? "." : root.c_str(), error);
        // A drive or share that is not there cannot be made.
        if (!current) return error == platform::Error::NotFound && missingAbove ? Level::Missing : Level::Refused;
        if (root.empty() ? !AncestorsAbove(current, walk) : !walk.judge.Above(current)) return Level::Refused;
        if (levels.empty()) {
            out = std::move(current);
            return Level::Usable;
        }
        start = &current;
    }
    if (levels.empty()) return OpenLevel(*start, ".", true, out, walk);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        platform::DirHandle next;
        const Level level = OpenLevel(*start, levels[i], true, next, walk);
        if (i + 1 == levels.size()) {
            out = std::move(next);
            return level;
        }
        if (level != Level::Usable) return level == Level::Missing && missingAbove ? Level::Missing : Level::Refused;
        if (!walk.judge.Above(next)) return Level::Refused;
        current = std::move(next);
        start = &current;
    }
    return Level::Refused;  // not reached: levels is not empty
}

Level WalkLevels(const platform::DirHandle* start, const std::vector<std::string>& levels,
                 Owners owners, platform::DirHandle& out, Walk& walk) {
    platform::DirHandle current;
    if (!start) {
        platform::Error error = platform::Error::None;
        current = platform::OpenDirectory(".", error);
        if (!current) return Level::Refused;
        start = &current;
    }
    if (levels.empty()) {
        // The walk ends where it starts: that directory is opened anew.
        return OpenLevel(*start, ".", owners != Owners::Ignored, out, walk);
    }
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const bool last = i + 1 == levels.size();
        const bool ownerMatters = owners == Owners::Everywhere || (last && owners == Owners::AtEnd);
        platform::DirHandle next;
        const Level level = OpenLevel(*start, levels[i], ownerMatters, next, walk);
        if (level != Level::Usable) return level;
        current = std::move(next);
        start = &current;
    }
    out = std::move(current);
    return Level::Usable;
}

}  // namespace kd::trust
