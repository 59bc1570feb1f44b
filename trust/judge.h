// Whom the installer trusts, and the judgements on a level: safe from other
// accounts (every level above the destination, above a followed link's
// target, and a link itself), or closed and holding only trusted entries (a
// level the installer writes into). An installation's Judge makes each once
// per level, by identity, not by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace kd::trust {

// True for the accounts the installer trusts to own what it passes or writes
// into: Administrators, SYSTEM, TrustedInstaller, LocalService and
// NetworkService (services' data), and the account running it.
bool Trusted(platform::Account account);

// ---- The two judgements on an access list -------------------------------------

// A level above the destination (or above a link's target, or a link): sound
// when no entry that applies to it lets another account delete or rename it,
// change its access or owner, or delete what it holds. Adding entries is
// allowed: it moves nothing that exists. A NULL access list is unsound.
bool SafeAbove(const platform::AccessList& access);

// What to do with a level the installer writes into before anything is
// written. Keep: only trusted accounts may write it. Close: others may,
// through inherited entries only; it gets the descriptor of a new
// destination. Refuse: an explicit entry or a NULL access list lets others
// write it (an administrator chose that; it is not ours to take away).
enum class Verdict { Keep, Close, Refuse };
Verdict JudgeWritten(const platform::AccessList& access);

// ---- What one installation has judged ------------------------------------------

// The levels judged during one installation, by identity, each held (pinned)
// until the judge goes so that nobody can delete or rename it meanwhile. A
// level is never judged twice by the same rule. Nothing is carried from one
// installation to the next: each makes its own.
class Judge {
public:
    // A level above the destination or above a followed link's target: its
    // owner is trusted and SafeAbove holds. False when not, or when it cannot
    // be told or held.
    bool Above(const platform::DirHandle& level);
    // The link `name` of `dir`, which a walk is about to follow: its owner
    // is trusted and no entry of its own lets others remove or re-permission it.
    bool LinkAbove(const platform::DirHandle& dir, const std::string& name);
    // A level the installer writes into: its owner is trusted, it is closed
    // to others where only inherited entries open it (refused where explicit
    // ones do), and then every entry directly inside has a trusted owner (a
    // library of another user beside a program would be used as ours).
    // `refused` receives the name of the first entry refused, if any.
    bool Written(const platform::DirHandle& level, std::string* refused = nullptr);
    // A level the installer just made inside a written level: closed from
    // its birth and empty, so written without a look.
    bool Created(const platform::DirHandle& level);
    // Closes the destination when it must be (Written without the look at
    // its entries, which the first command takes).
    bool Closed(const platform::DirHandle& level);
    // Forgets every level written into and lets it go: a removal may take
    // such levels away, and what stands later is judged anew. Levels above
    // stay judged and held.
    void Forget();

private:
    enum : std::uint8_t { AboveDone = 1, ClosedDone = 2, EntriesDone = 4 };
    struct Identity {
        std::uint64_t volume = 0, index = 0, indexHigh = 0;
        bool operator==(const Identity&) const = default;
    };
    struct IdentityHash {
        std::size_t operator()(const Identity& id) const {
            return (id.index ^ (id.indexHigh * 0x9e3779b97f4a7c15ull)) * 31 + id.volume;
        }
    };
    // What was judged of a level, or null when its identity or owner cannot
    // be told, it cannot be held, or its owner is not trusted. A level is
    // held from its first look; `above` says which list keeps its hold.
    std::uint8_t* Record(const platform::DirHandle& level, bool above);
    bool Close(const platform::DirHandle& level, std::uint8_t& done);

    // Per level only its identity and what was judged (56 bytes with the
    // map's node and bucket); the holds apart, and only where the system
    // gives one (Windows).
    std::unordered_map<Identity, std::uint8_t, IdentityHash> levels;
    std::vector<platform::DirHandle> heldAbove, heldBelow;
    std::uint8_t uncounted = 0;  // the last level without an identity
    platform::DirHandle uncountedHold;
};

}  // namespace kd::trust
