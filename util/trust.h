// What the installer trusts on its way to a target. Every level from the root
// of the destination's volume down to its parent must be safe from every
// other account (no rename, no new access list), and so must every level
// above the folder a followed link leads to; a link is followed only when a
// trusted account owns it; each level the installer writes into is closed to
// others before what it holds is judged. Every walk goes through directory
// handles, so what was checked is what is used, and each level is judged
// once per installation (by identity, not by name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace kd::util {

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
    // How many levels it holds.
    std::size_t Size() const { return levels.size(); }

private:
    enum : std::uint8_t { AboveDone = 1, ClosedDone = 2, EntriesDone = 4 };
    struct Identity {
        std::uint64_t volume = 0, index = 0;
        bool operator==(const Identity&) const = default;
    };
    struct IdentityHash {
        std::size_t operator()(const Identity& id) const { return id.index * 31 + id.volume; }
    };
    struct Held {
        std::uint8_t done = 0;
        platform::DirHandle pin;
    };
    // The record of `level`, pinned on first sight; null when its identity
    // or owner cannot be told, it cannot be held, or its owner is not trusted.
    Held* Record(const platform::DirHandle& level);
    bool Close(const platform::DirHandle& level, Held& held);

    std::unordered_map<Identity, Held, IdentityHash> levels;
};

// ---- Walking through directory handles ---------------------------------------

// Which levels of a walk must have a trusted owner: none (removal: what others
// own may go, but never through a link), the one the walk ends at, or every
// level (what the installer writes into).
enum class Owners { Ignored, AtEnd, Everywhere };

enum class Level { Usable, Missing, Refused };

// The levels of `path` after its root, "." levels and empty ones left out.
// `rootLength` receives the length of its root: a drive ("c:" or "c:\"), a
// share ("\\server\share\"), a leading separator, or 0 for a relative path.
std::vector<std::string> PathLevels(const std::string& path, std::size_t& rootLength);

// The levels of a path that has no root of its own (a name below a base),
// "." and empty levels left out.
std::vector<std::string> SplitLevels(const std::string& path);

// At most this many links are followed in one walk; past it, and on a loop,
// a link counts as untrusted.
constexpr int LinkLimit = 40;

// One walk: the installation's judge, and the links it may still follow.
struct Walk {
    Judge& judge;
    int linksLeft = LinkLimit;
};

// Opens the level `name` of `dir` as a directory the installer may pass: a
// plain directory, or a link whose owner is trusted, which is judged as a
// level above, and whose target, walked by WalkAboveLevels, ends at a directory.
// `ownerMatters`: the directory reached must have a trusted owner. Missing
// when nothing stands there (or a file does); Refused for anything else, any
// failure to tell included.
Level OpenLevel(const platform::DirHandle& dir, const std::string& name, bool ownerMatters,
                platform::DirHandle& out, Walk& walk);

// Opens `root` (a drive, share or leading separator) and walks `levels` from
// it, or from `start` when `root` is empty, or from the working directory
// when both are; judges the root, or the working directory and every level
// above it, and every level walked but the last, as levels above; gives the
// last, whose owner must be trusted (the root or `start` itself, opened anew,
// when `levels` is empty). Missing when the last level is missing, and when
// one before it or the root is with `missingAbove` (else Refused).
Level WalkAboveLevels(const platform::DirHandle* start, const std::string& root,
                      const std::vector<std::string>& levels, platform::DirHandle& out, Walk& walk,
                      bool missingAbove);

// Opens each of `levels` in turn from `start` (the working directory when
// null) and gives the last one; `start` itself, opened anew, when there are
// none. Owners as asked; levels are not judged otherwise.
Level WalkLevels(const platform::DirHandle* start, const std::vector<std::string>& levels,
                 Owners owners, platform::DirHandle& out, Walk& walk);

}  // namespace kd::util
