// Installer directory, package location, default destination and dialogue.
#include "driver/dialogue.h"

#include "util/files.h"
#include "util/strings.h"

namespace kd {

namespace {

constexpr const char* ProgramName = "kdinstall";

// The answer as the dialogue compares it: trimmed and in upper case.
std::string Normalised(const std::string& answer) {
    std::string copy = answer;
    TrimString(copy, false, true);
    MakeUpper(copy);
    return copy;
}

}  // namespace

std::string InstallerDirectory(const std::string& programPath, const std::string& currentDirectory) {
    std::string lowered = programPath;
    MakeLower(lowered);
    std::string directory;
    const std::size_t match = lowered.rfind(ProgramName);
    if (match != std::string::npos) directory = programPath.substr(0, match);
    if (directory.empty()) directory = currentDirectory;
    if (!directory.empty() && directory.back() != '\\') directory += '\\';
    return directory;
}

bool LocatePackages(const std::string& installerDirectory, PackagePaths& packages,
                    std::string& missing) {
    packages.core = installerDirectory + "keldo_core.pkg";
    if (!FileExists(packages.core.c_str())) {
        packages.core = installerDirectory + "..\\keldo_core.pkg";  // the ".." stays as written
        if (!FileExists(packages.core.c_str())) {
            missing = packages.core;
            return false;
        }
    }
    packages.window = installerDirectory + "keldo_window64.pkg";
    if (!FileExists(packages.window.c_str())) {
        missing = packages.window;
        return false;
    }
    return true;
}

std::string DefaultDestination(const char* keldo) {
    std::string destination = keldo != nullptr ? keldo : "";
    TrimString(destination, false, true);
    RemoveTrailingSeparator(destination);
    if (destination.empty()) destination = "c:\\keldo";
    SlashesToBackslashes(destination);
    return destination;
}

DialogueResult AskDestination(Console& console, const std::string& defaultDestination,
                              std::string& destination) {
    std::string answer;
    for (;;) {
        Print(console, "\n\nPlease enter KELDO destination directory (" + defaultDestination + ") => ");
        // The end of input quits: there is no answer to wait for.
        if (!ReadConsoleLine(console, answer)) return DialogueResult::Quit;
        if (Normalised(answer).starts_with('Q')) return DialogueResult::Quit;

        std::string candidate = answer;
        TrimString(candidate, false, true);
        RemoveTrailingSeparator(candidate);
        if (candidate.empty()) candidate = defaultDestination;
        SlashesToBackslashes(candidate);

        std::string prompt = "\n\nConfirm destination directory ";
        Print(console, prompt.append(candidate).append(" (y/n/q) => "));
        if (!ReadConsoleLine(console, answer)) return DialogueResult::Quit;
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
    std::string previous = previousDirectory;
    TrimString(previous, false, true);
    RemoveTrailingSeparator(previous);
    return previous != destination;
}

}  // namespace kd
