// Installer directory, package location, default destination and dialogue.
#include "driver/dialogue.h"

#include <string_view>

#include "platform/platform.h"
#include "script/rules.h"
#include "util/files.h"
#include "util/names.h"
#include "util/strings.h"

namespace kd::driver {

namespace {

constexpr const char* ProgramName = "kdinstall";
constexpr const char* CodePageMessage = "\nThe answer holds a character this computer's code page cannot hold";

// The answer as the dialogue compares it: trimmed and in upper case.
std::string Normalised(const std::string& answer) {
    std::string copy = answer;
    util::TrimString(copy, false, true);
    util::MakeUpper(copy);
    return copy;
}

// True when a full path names its directory in one plain form: Windows
// drops "." and ".." components and endings of dots and blanks, opens a
// device whatever directory stands in front, and takes a ":" after a name for
// a stream; each would install somewhere else than KELDO records.
bool IsPlainPath(const std::string& fullPath) {
    return !util::EndsInDotOrBlank(fullPath) && !util::NamesDevice(fullPath) && fullPath.find(':', 2) == std::string::npos;
}

}  // namespace

std::string InstallerDirectory(const std::string& programPath, const std::string& currentDirectory) {
    std::string lowered = programPath;
    util::MakeLower(lowered);
    std::string directory;
    const std::size_t match = lowered.rfind(ProgramName);
    if (match != std::string::npos) directory = programPath.substr(0, match);
    if (directory.empty()) directory = currentDirectory;
    util::AddTrailingBackslash(directory);
    return directory;
}

bool LocatePackages(const std::string& installerDirectory, PackagePaths& packages,
                    std::string& missing) {
    packages.core = installerDirectory + script::CorePackage;
    if (!util::FileExists(packages.core.c_str())) {
        packages.core = installerDirectory + "..\\" + script::CorePackage;  // the ".." stays as written
        if (!util::FileExists(packages.core.c_str())) {
            missing = packages.core;
            return false;
        }
    }
    packages.window = installerDirectory + script::WindowPackage;
    if (!util::FileExists(packages.window.c_str())) {
        missing = packages.window;
        return false;
    }
    return true;
}

std::string DefaultDestination(const char* keldo) {
    std::string destination = util::DirectoryForm(keldo != nullptr ? keldo : "");
    if (destination.empty()) destination = "c:\\keldo";
    util::SlashesToBackslashes(destination);
    return destination;
}

bool IsFullPath(const std::string& path) {
    // PATH splits its value at ";", so "c:\a;b" would add the relative entry
    // "b\Bin"; a NUL would cut the path short wherever it is passed on.
    if (path.find_first_of(std::string_view(";\0", 2)) != std::string::npos) return false;
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (path.size() > 3 && isLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    if (path.starts_with("\\\\")) {
        // \\server\share: a server name, then a share name. "\\.\" and "\\?\" open
        // devices and bypass the path rules, so they are no destination.
        const std::size_t shareStart = path.find('\\', 2);
        if (shareStart == std::string::npos || shareStart == 2 || shareStart + 1 == path.size() ||
            path[shareStart + 1] == '\\') {
            return false;
        }
        const std::string server = path.substr(2, shareStart - 2);
        return server != "." && server != "?";
    }
    return path.starts_with('\\') && platform::RootedPathIsFull();
}

DialogueResult AskDestination(util::Console& console, const std::string& defaultDestination,
                              std::string& destination) {
    std::string answer;
    for (;;) {
        Print(console, "\n\nPlease enter KELDO destination directory (" + defaultDestination + ") => ");
        // The end of input quits: there is no answer to wait for.
        const util::LineRead read = ReadConsoleLine(console, answer);
        if (read == util::LineRead::End) return DialogueResult::Quit;
        if (read == util::LineRead::TooLong) {
            Print(console, "\nThe answer is too long");
            continue;
        }
        if (read == util::LineRead::NotInCodePage) {
            Print(console, CodePageMessage);
            continue;
        }
        if (Normalised(answer).starts_with('Q')) return DialogueResult::Quit;

        std::string candidate = util::DirectoryForm(answer);
        if (candidate.empty()) candidate = defaultDestination;
        util::SlashesToBackslashes(candidate);
        // A relative destination would put a relative entry into the machine
        // PATH; the default is checked too (KELDO may hold anything).
        if (!IsFullPath(candidate) || !IsPlainPath(candidate)) {
            Print(console, "\nThe destination must be a full path, such as c:\\keldo");
            continue;
        }

        std::string prompt = "\n\nConfirm destination directory ";
        Print(console, prompt.append(candidate).append(" (y/n/q) => "));
        const util::LineRead confirmed = ReadConsoleLine(console, answer);
        if (confirmed == util::LineRead::End) return DialogueResult::Quit;
        if (confirmed == util::LineRead::TooLong) continue;  // like any answer but y or q
        if (confirmed == util::LineRead::NotInCodePage) {
            Print(console, CodePageMessage);
            continue;
        }
        const std::string confirmation = Normalised(answer);
        const char first = confirmation.empty() ? 'Y' : confirmation[0];  // empty confirms
        if (first == 'Q') return DialogueResult::Quit;
        if (first == 'Y') {
            destination = candidate;
            return DialogueResult::Confirmed;
        }
    }
}

bool IsDestinationChanged(const std::string& previousDirectory, const std::string& destination) {
    // Slashes are not turned here: the previous value counts byte for byte
    // against the confirmed destination, so a KELDO written with "/" reads
    // as another directory and the old registration is removed.
    return util::DirectoryForm(previousDirectory) != destination;
}

}  // namespace kd::driver
