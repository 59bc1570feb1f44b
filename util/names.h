// Tests of script names against what Windows makes of them: components that
// climb out of a directory, device names, names a script cannot carry, and
// wildcard matches.
#pragma once

#include <string>

namespace kd::util {

// True when a component (split at "\" and "/") consists of dots and blanks
// with two dots or more: ".." climbs to the parent, and Windows drops
// trailing dots and blanks, so "..." and ".. " do the same.
bool ClimbsUp(const std::string& name);

// True when a component (split at "\" and "/") ends in a dot or a blank,
// "." and ".." among them: Windows drops such an ending, so the name stands
// for another directory than the one written.
bool EndsInDotOrBlank(const std::string& name);

// True when a component names a Windows device (CON, PRN, AUX, NUL, COM1 to
// COM9, LPT1 to LPT9, COM and LPT with the superscript digits 1, 2, 3 of
// code page 1252, CONIN$, CONOUT$; any letter case, any extension):
// Windows opens the device whatever directory stands in front.
bool NamesDevice(const std::string& name);

// Why a file or directory name (one level) cannot be carried faithfully by a
// script and created by the installer as written; empty when it can.
std::string NameProblem(const std::string& name);

// True when `name` matches `pattern`, with * and ? as wildcards and ASCII
// letter case ignored.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace kd::util
