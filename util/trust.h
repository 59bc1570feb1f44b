// What the installer trusts on its way to a target: a link is followed only
// when an administrator, the system or the installing account owns it and
// what it leads to passes the same checks, and a destination only when such
// an owner owns it or the installer makes it. Every walk goes through
// directory handles, so what was checked is what is used.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kd::util {

// True for the accounts the installer trusts to own what it passes or writes
// into: Administrators, SYSTEM, TrustedInstaller, LocalService and
// NetworkService (services' data), and the account running it.
bool Trusted(platform::Account account);

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

// At most this many links are followed in one walk; past it, and on a loop,
// a link counts as untrusted.
constexpr int LinkLimit = 40;

// Opens the level `name` of `dir` as a directory the installer may pass: a
// plain directory, or a link whose owner is trusted and whose target, walked
// from its root by the same rules, passes only trusted links and ends at a
// directory with a trusted owner. `ownerMatters`: a plain directory must have
// a trusted owner too. Missing when nothing stands there (or a file does);
// Refused for anything else, any failure to tell included.
Level OpenLevel(const platform::DirHandle& dir, const std::string& name, bool ownerMatters,
                platform::DirHandle& out, int& linksLeft);

// The levels of a path that has no root of its own (a name below a base),
// "." and empty levels left out.
std::vector<std::string> SplitLevels(const std::string& path);

// Opens each of `levels` in turn from `start` (the working directory when
// null) and gives the last one; `start` itself, opened anew, when there are
// none.
Level WalkLevels(const platform::DirHandle* start, const std::vector<std::string>& levels,
                 Owners owners, platform::DirHandle& out, int& linksLeft);

// Walks the levels of `path` from its root, or from `start` (the working
// directory when null) for a relative path, and opens the directory it names.
Level WalkPath(const platform::DirHandle* start, const std::string& path, Owners owners,
               platform::DirHandle& out, int& linksLeft);

// What to do with an existing destination before anything is written.
enum class Verdict { Keep, Close, Refuse };
// Keep: only trusted accounts may write it. Close: others may, through
// inherited entries only; it gets the descriptor of a new destination.
// Refuse: an explicit entry or a NULL access list lets others write it, or
// its parent lets others delete its entries.
Verdict JudgeDestination(const platform::AccessList& destination, const platform::AccessList& parent);

// Judges `dir` as above and closes it when the verdict says so. True when
// only trusted accounts may write it afterwards; false when it is refused or
// could not be closed.
bool KeepFromOthers(const platform::DirHandle& dir);

// True when only trusted accounts may rename or remove what `parent` holds:
// its owner is trusted (an owner may always grant itself that right) and no
// entry lets others delete its entries.
bool KeepsItsEntries(const platform::DirHandle& parent);

}  // namespace kd::util
