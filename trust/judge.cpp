// Owner and access judgements. Operating-system independent: the questions
// go through platform/.
#include "trust/judge.h"

#include <utility>

#include "platform/listed_names.h"
#include "platform/platform.h"
#include "trust/closing.h"

namespace kd::trust {

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

std::uint8_t* Judge::Record(const platform::DirHandle& level, bool above) {
    platform::EntryInfo info;
    if (!level || !Succeeded(platform::InfoOf(level, info)) || !Trusted(info.owner)) return nullptr;
    // A file system that gives no identity is judged at every use.
    if (!platform::HasIdentity(info)) {
        uncounted = 0;
        return Succeeded(platform::PinDirectory(level, uncountedHold)) ? &uncounted : nullptr;
    }
    const auto [at, isNew] = levels.try_emplace(Identity{info.volume, info.index, info.indexHigh}, 0);
    if (isNew) {
        // Held from the first look: a handle another user opened earlier to
        // delete or rename it shows here (Windows), and none can be opened
        // while the installation runs.
        platform::DirHandle hold;
        if (!Succeeded(platform::PinDirectory(level, hold))) {
            levels.erase(at);
            return nullptr;
        }
        if (hold) (above ? heldAbove : heldBelow).push_back(std::move(hold));
    }
    return &at->second;
}

bool Judge::Above(const platform::DirHandle& level) {
    std::uint8_t* done = Record(level, true);
    if (!done) return false;
    if (*done & AboveDone) return true;
    platform::AccessList access;
    if (!Succeeded(platform::AccessOf(level, access)) || !SafeAbove(access)) return false;
    *done |= AboveDone;
    return true;
}

bool Judge::LinkAbove(const platform::DirHandle& dir, const std::string& name) {
    platform::EntryInfo info;
    platform::AccessList access;
    // Links are few: each is asked every time it is followed.
    return Succeeded(platform::InfoAt(dir, name, info)) && info.type == platform::EntryType::Link &&
           Trusted(info.owner) && Succeeded(platform::AccessAt(dir, name, access)) && SafeAbove(access);
}

bool Judge::Close(const platform::DirHandle& level, std::uint8_t& done) {
    if (done & ClosedDone) return true;
    platform::AccessList access;
    if (!Succeeded(platform::AccessOf(level, access))) return false;
    switch (JudgeWritten(access)) {
    case Verdict::Keep: break;
    case Verdict::Close:
        if (!Succeeded(CloseToOthers(level))) return false;
        break;
    case Verdict::Refuse: return false;
    }
    done |= ClosedDone;
    return true;
}

bool Judge::Closed(const platform::DirHandle& level) {
    std::uint8_t* done = Record(level, false);
    return done && Close(level, *done);
}

bool Judge::Written(const platform::DirHandle& level, std::string* refused) {
    std::uint8_t* done = Record(level, false);
    if (!done) return false;
    if (*done & EntriesDone) return true;
    // Closed first, so that nothing of another user's can come in between
    // the look at the entries and the use.
    if (!Close(level, *done)) return false;
    std::vector<platform::FindEntry> entries;
    if (!Succeeded(platform::ListAt(level, entries))) return false;
    for (const platform::FindEntry& entry : entries) {
        platform::EntryInfo info;
        if (!Succeeded(platform::InfoAt(level, entry, info))) return false;
        // A name that no script can give (one the code page cannot hold) is
        // another user's, whoever owns it.
        if (info.type != platform::EntryType::Missing && (!Trusted(info.owner) || !platform::NameKept(entry))) {
            if (refused) *refused = entry.name;
            return false;
        }
    }
    *done |= EntriesDone;
    return true;
}

void Judge::Forget() {
    // A level judged above that was also written into may lose its hold
    // here; it stays judged, as nobody else may remove it.
    heldBelow.clear();
    for (auto it = levels.begin(); it != levels.end();) {
        if (it->second & AboveDone) {
            it->second = AboveDone;
            ++it;
        } else {
            it = levels.erase(it);
        }
    }
}

bool Judge::Created(const platform::DirHandle& level) {
    std::uint8_t* done = Record(level, false);
    if (!done) return false;
    *done |= ClosedDone | EntriesDone;
    return true;
}

}  // namespace kd::trust
