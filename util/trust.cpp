// Link and owner checks. Operating-system independent: the questions go
// through platform/.
#include "util/trust.h"

#include <utility>

#include "platform/platform.h"
#include "util/closing.h"
#include "util/strings.h"

namespace kd::util {

namespace {

// Rights that let their holder change a directory or what it holds: write or
// append data (add a file or subdirectory), delete child, delete, WRITE_DAC,
// WRITE_OWNER, GENERIC_ALL and GENERIC_WRITE.
constexpr std::uint32_t GenericAll = 0x10000000;
constexpr std::uint32_t WriteRights = platform::AddFileRight | platform::AddSubdirectoryRight |
                                      platform::DeleteChildRight | 0x10000 | 0x40000 | 0x80000 | GenericAll |
                                      0x40000000;

// Whether an entry lets someone outside the trusted accounts do `rights`. A
// CREATOR OWNER entry grants the creator, whom every level the installer
// writes into must trust anyway.
bool GrantsOthers(const platform::AccessEntry& entry, std::uint32_t rights) {
    return entry.allow && !Trusted(entry.who) && entry.who != platform::Account::CreatorOwner &&
           (entry.mask & rights) != 0;
}

}  // namespace

bool Trusted(platform::Account account) {
    using platform::Account;
    switch (account) {
    case Account::Administrators:
    case Account::System:
    case Account::TrustedInstaller:
    case Account::LocalService:
    case Account::NetworkService:
    case Account::RunningAccount: return true;
    case Account::CreatorOwner:
    case Account::Other: break;
    }
    return false;
}

std::vector<std::string> PathLevels(const std::string& path, std::size_t& rootLength) {
    std::size_t at = 0;
    if (path.size() >= 2 && path[1] == ':') {
        at = path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // "\\server\share\": two more levels belong to the root.
        at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !IsSeparator(path[at])) ++at;
            if (at < path.size()) ++at;
        }
    } else if (!path.empty() && IsSeparator(path[0])) {
        at = 1;
    }
    rootLength = at;
    return SplitLevels(path.substr(at));
}

std::vector<std::string> SplitLevels(const std::string& path) {
    std::vector<std::string> levels;
    for (std::size_t at = 0; at < path.size();) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        std::string level = path.substr(at, end - at);
        if (!level.empty() && level != ".") levels.push_back(std::move(level));
        at = end + 1;
    }
    return levels;
}

Level OpenLevel(const platform::DirHandle& dir, const std::string& name, bool ownerMatters,
                platform::DirHandle& out, int& linksLeft) {
    platform::Error error = platform::Error::None;
    out = platform::OpenDirectoryAt(dir, name, error);
    platform::EntryInfo info;
    if (error == platform::Error::None) {
        if (!ownerMatters) return Level::Usable;
        // Asked of the handle: the directory that was opened, not the name.
        return platform::InfoOf(out, info) == platform::Error::None && Trusted(info.owner)
                   ? Level::Usable
                   : Level::Refused;
    }
    if (error == platform::Error::NotFound) return Level::Missing;
    // Anything that cannot be told from a link counts as an untrusted one.
    if (error != platform::Error::IsLink) return Level::Refused;
    if (platform::InfoAt(dir, name, info) != platform::Error::None ||
        info.type != platform::EntryType::Link || !Trusted(info.owner) || --linksLeft < 0) {
        return Level::Refused;
    }
    std::string target;
    if (platform::ReadLinkAt(dir, name, target) != platform::Error::None) return Level::Refused;
    // A missing target is refused too: nothing is made through a link.
    return WalkPath(&dir, target, Owners::AtEnd, out, linksLeft) == Level::Usable ? Level::Usable
                                                                                 : Level::Refused;
}

Level WalkPath(const platform::DirHandle* start, const std::string& path, Owners owners,
               platform::DirHandle& out, int& linksLeft) {
    std::size_t rootLength = 0;
    const std::vector<std::string> levels = PathLevels(path, rootLength);
    platform::DirHandle root;
    if (rootLength > 0) {
        platform::Error error = platform::Error::None;
        root = platform::OpenDirectory(path.substr(0, rootLength).c_str(), error);
        if (!root) return Level::Refused;
        start = &root;
    }
    return WalkLevels(start, levels, owners, out, linksLeft);
}

Level WalkLevels(const platform::DirHandle* start, const std::vector<std::string>& levels,
                 Owners owners, platform::DirHandle& out, int& linksLeft) {
    platform::DirHandle current;
    if (!start) {
        platform::Error error = platform::Error::None;
        current = platform::OpenDirectory(".", error);
        if (!current) return Level::Refused;
        start = &current;
    }
    if (levels.empty()) {
        // The walk ends where it starts: that directory is opened anew.
        return OpenLevel(*start, ".", owners != Owners::Ignored, out, linksLeft);
    }
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const bool last = i + 1 == levels.size();
        const bool ownerMatters = owners == Owners::Everywhere || (last && owners == Owners::AtEnd);
        platform::DirHandle next;
        const Level level = OpenLevel(*start, levels[i], ownerMatters, next, linksLeft);
        if (level != Level::Usable) return level;
        current = std::move(next);
        start = &current;
    }
    out = std::move(current);
    return Level::Usable;
}

Verdict JudgeDestination(const platform::AccessList& destination, const platform::AccessList& parent) {
    if (destination.nullList || parent.nullList) return Verdict::Refuse;
    for (const platform::AccessEntry& entry : parent.entries) {
        // Others could rename the destination away and put their own there.
        if (!entry.inheritOnly && GrantsOthers(entry, platform::DeleteChildRight | GenericAll)) return Verdict::Refuse;
    }
    Verdict verdict = Verdict::Keep;
    for (const platform::AccessEntry& entry : destination.entries) {
        // An inherit-only entry counts for what it gives to what is inside.
        if (entry.inheritOnly && !entry.toChildren) continue;
        if (!GrantsOthers(entry, WriteRights)) continue;
        // An administrator chose an explicit entry; it is not ours to take away.
        if (!entry.inherited) return Verdict::Refuse;
        verdict = Verdict::Close;
    }
    return verdict;
}

bool KeepFromOthers(const platform::DirHandle& dir) {
    platform::AccessList access;
    if (platform::AccessOf(dir, access) != platform::Error::None) return false;
    switch (JudgeDestination(access, {})) {
    case Verdict::Keep: return true;
    case Verdict::Close: return CloseToOthers(dir) == platform::Error::None;
    case Verdict::Refuse: break;
    }
    return false;
}

bool KeepsItsEntries(const platform::DirHandle& parent) {
    platform::EntryInfo info;
    platform::AccessList access;
    return platform::InfoOf(parent, info) == platform::Error::None && Trusted(info.owner) &&
           platform::AccessOf(parent, access) == platform::Error::None &&
           JudgeDestination({}, access) != Verdict::Refuse;
}

}  // namespace kd::util
