// Link, owner and access judgements. Operating-system independent: the
// questions go through platform/.
#include "util/trust.h"

#include <utility>

#include "platform/platform.h"
#include "util/strings.h"

namespace kd::util {

namespace {

constexpr std::uint32_t DeleteRight = 0x10000;
constexpr std::uint32_t WriteDacRight = 0x40000;
constexpr std::uint32_t WriteOwnerRight = 0x80000;
constexpr std::uint32_t GenericAll = 0x10000000;
constexpr std::uint32_t GenericWrite = 0x40000000;

// What lets its holder move or re-permission a level above the destination,
// or take away what it holds.
constexpr std::uint32_t MoveRights =
    DeleteRight | WriteDacRight | WriteOwnerRight | GenericAll | GenericWrite | platform::DeleteChildRight;
// What lets its holder change a level written into or what it holds: the
// above, and adding a file or subdirectory.
constexpr std::uint32_t WriteRights = MoveRights | platform::AddFileRight | platform::AddSubdirectoryRight;

// Whether an entry lets someone outside the trusted accounts do `rights`. A
// CREATOR OWNER entry grants the creator, whom every level the installer
// writes into must trust anyway.
bool GrantsOthers(const platform::AccessEntry& entry, std::uint32_t rights) {
    return entry.allow && !Trusted(entry.who) && entry.who != platform::Account::CreatorOwner &&
           (entry.mask & rights) != 0;
}

bool Succeeded(platform::Error error) { return error == platform::Error::None; }

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

bool SafeAbove(const platform::AccessList& access) {
    if (access.nullList) return false;
    for (const platform::AccessEntry& entry : access.entries) {
        // An inherit-only entry does not apply to the level itself.
        if (!entry.inheritOnly && GrantsOthers(entry, MoveRights)) return false;
    }
    return true;
}

Verdict JudgeWritten(const platform::AccessList& access) {
    if (access.nullList) return Verdict::Refuse;
    Verdict verdict = Verdict::Keep;
    for (const platform::AccessEntry& entry : access.entries) {
        // An inherit-only entry counts for what it gives to what is inside.
        if (entry.inheritOnly && !entry.toChildren) continue;
        if (!GrantsOthers(entry, WriteRights)) continue;
        if (!entry.inherited) return Verdict::Refuse;
        verdict = Verdict::Close;
    }
    return verdict;
}

// ---- Judge ----------------------------------------------------------------------

Judge::Held* Judge::Record(const platform::DirHandle& level) {
    platform::EntryInfo info;
    if (!level || !Succeeded(platform::InfoOf(level, info)) || !Trusted(info.owner)) return nullptr;
    Held& held = levels[Identity{info.volume, info.index}];
    if (held.done == 0 && !held.pin) {
        // Held from the first look: a handle another user opened earlier to
        // delete or rename it shows here (Windows), and none can be opened
        // while the installation runs.
        if (!Succeeded(platform::PinDirectory(level, held.pin))) {
            levels.erase(Identity{info.volume, info.index});
            return nullptr;
        }
    }
    return &held;
}

bool Judge::Above(const platform::DirHandle& level) {
    Held* held = Record(level);
    if (!held) return false;
    if (held->done & AboveDone) return true;
    platform::AccessList access;
    if (!Succeeded(platform::AccessOf(level, access)) || !SafeAbove(access)) return false;
    held->done |= AboveDone;
    return true;
}

bool Judge::LinkAbove(const platform::DirHandle& dir, const std::string& name) {
    platform::EntryInfo info;
    platform::AccessList access;
    // Links are few: each is asked every time it is followed.
    return Succeeded(platform::InfoAt(dir, name, info)) && info.type == platform::EntryType::Link &&
           Trusted(info.owner) && Succeeded(platform::AccessAt(dir, name, access)) && SafeAbove(access);
}

bool Judge::Close(const platform::DirHandle& level, Held& held) {
    if (held.done & ClosedDone) return true;
    platform::AccessList access;
    if (!Succeeded(platform::AccessOf(level, access))) return false;
    switch (JudgeWritten(access)) {
    case Verdict::Keep: break;
    case Verdict::Close:
        if (!Succeeded(platform::CloseToOthers(level))) return false;
        break;
    case Verdict::Refuse: return false;
    }
    held.done |= ClosedDone;
    return true;
}

bool Judge::Closed(const platform::DirHandle& level) {
    Held* held = Record(level);
    return held && Close(level, *held);
}

bool Judge::Written(const platform::DirHandle& level, std::string* refused) {
    Held* held = Record(level);
    if (!held) return false;
    if (held->done & EntriesDone) return true;
    // Closed first, so that nothing of another user's can come in between
    // the look at the entries and the use.
    if (!Close(level, *held)) return false;
    std::vector<platform::FindEntry> entries;
    if (!Succeeded(platform::ListAt(level, entries))) return false;
    for (const platform::FindEntry& entry : entries) {
        platform::EntryInfo info;
        if (!Succeeded(platform::InfoAt(level, entry.name, info))) return false;
        if (info.type != platform::EntryType::Missing && !Trusted(info.owner)) {
            if (refused) *refused = entry.name;
            return false;
        }
    }
    held->done |= EntriesDone;
    return true;
}

void Judge::Forget() {
    for (auto it = levels.begin(); it != levels.end();) {
        if (it->second.done & AboveDone) {
            it->second.done = AboveDone;
            ++it;
        } else {
            it = levels.erase(it);
        }
    }
}

bool Judge::Created(const platform::DirHandle& level) {
    Held* held = Record(level);
    if (!held) return false;
    held->done |= ClosedDone | EntriesDone;
    return true;
}

// ---- Walks ------------------------------------------------------------------------

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
        if (parentInfo.volume == info.volume && parentInfo.index == info.index) return true;
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

}  // namespace kd::util
