// Walks through directory handles, so that what was checked is what is
// used: every level opened without following a link, a link followed only
// when a trusted account owns it and nobody else may remove it, and what it
// leads to judged from the root of its volume.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "trust/judge.h"

namespace kd::trust {

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

}  // namespace kd::trust
