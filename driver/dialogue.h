// The start of a run: where the installer and its packages are, the default
// destination, and the two-prompt destination dialogue.
#pragma once

#include <string>

#include "util/console.h"

namespace kd::driver {

// The directory of the installer, always ending in "\": the program path cut
// where its last "kdinstall" (letter case ignored) begins, or, when it holds
// none or the cut leaves nothing, `currentDirectory`. An empty current
// directory stays empty, so the packages are looked up relative to it.
std::string InstallerDirectory(const std::string& programPath, const std::string& currentDirectory);

struct PackagePaths {
    std::string core;
    std::string window;
};

// Finds "keldo_core.pkg" in the installer directory, else as
// "..\keldo_core.pkg" below it, and "keldo_window64.pkg" in the installer
// directory only. On failure `missing` is the path tried last and the result
// false (the core package is named first when both are missing).
bool LocatePackages(const std::string& installerDirectory, PackagePaths& packages,
                    std::string& missing);

// The destination offered by default: `keldo` (the KELDO variable, null when
// unset) trimmed, without trailing separator and with backslashes, or
// "c:\keldo" when that leaves nothing.
std::string DefaultDestination(const char* keldo);

// True for a destination that names one place wherever the installer runs:
// a drive letter, ":\" and at least one more character, or \\server\share.
// Relative, drive-relative ("c:keldo"), root-relative ("\keldo") and bare
// drive paths are not, nor the device and verbatim forms "\\.\" and "\\?\";
// where the platform says a rooted path is full, a single leading "\" is enough.
// A ";" (it would split the PATH entry) or a NUL makes any path not full.
bool IsFullPath(const std::string& path);

enum class DialogueResult { Confirmed, Quit };

// Asks for the destination and its confirmation until the user confirms or
// quits. A quit (an answer beginning with "q", or the end of input) prints
// nothing more. An over-long answer, or a destination that is not a full
// path or not in one plain form (a "." or ".." component, one ending in a dot
// or blank, a device name, a ":" other than the drive's), is refused with a
// message and the first question asked again; an over-long confirmation asks
// again. A UTF-8 answer (or confirmation) that this computer's code page
// cannot hold is refused with a message and the first question asked again. On Confirmed, `destination` is trimmed, without trailing separator,
// with backslashes, and a full path in plain form.
DialogueResult AskDestination(util::Console& console, const std::string& defaultDestination,
                              std::string& destination);

// True unless `destination` equals, byte for byte, the previous installation's
// directory (the raw KELDO value trimmed and without trailing separator).
bool IsDestinationChanged(const std::string& previousDirectory, const std::string& destination);

}  // namespace kd::driver
