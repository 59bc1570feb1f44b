// The phases of a run, from the program path to the final wait for Enter.
#include "driver/installer.h"

#include "driver/command.h"
#include "driver/dialogue.h"
#include "driver/environment.h"
#include "driver/server.h"
#include "package/package.h"
#include "platform/platform.h"

namespace kd::driver {

namespace {
constexpr const char* FailedLine = "\n\nInstallation failed\n";
}  // namespace

int RunInstallation(util::Console& console, const std::string& corePackagePath,
                    const std::string& windowPackagePath, const std::string& destination,
                    const std::string& defaultDestination, bool destinationChanged,
                    std::span<const char* const> keys) {
    Print(console, "\n\nInstalling KELDO in " + destination + " directory");
    Print(console, "\nThis may take a few minutes...");

    package::KdPackage package(console, keys);
    for (const std::string* packagePath : {&corePackagePath, &windowPackagePath}) {
        if (!package.Install(*packagePath, destination, true)) {
            return EndRun(console, {"\nError: " + package.errorText, FailedLine}, ExitFailure);
        }
    }

    const std::string binDirectory = UpdateSystemEnvironment(console, destination, defaultDestination);
    if (!RegisterService(console, binDirectory, destinationChanged)) {
        // The stray ")" is part of the message as shipped: keep it.
        return EndRun(console, {"\nError: cannot register the Keldo service)", FailedLine},
                      ExitFailure);
    }
    if (destinationChanged) {
        return EndRun(console,
                      {"\n\nInstallation terminated successfully\n",
                       "\n\nPLEASE RESTART YOUR COMPUTER FOR TERMINATING THE INSTALLATION"},
                      ExitSuccess);
    }
    return EndRun(console, {"\n\nInstallation terminated successfully\n"}, ExitSuccess);
}

int RunInstaller(util::Console& console, const std::string& programPath, const char* keldo,
                 std::span<const char* const> keys) {
    const std::string installerDirectory =
        InstallerDirectory(programPath, platform::CurrentDirectory());
    Print(console, "\n\nKELDO server installation");
    // First of all: a run without an elevated token could still make the
    // destination (anyone may add a folder under C:\), owned by that user,
    // and every later run would refuse it. Asking the questions first would
    // only waste the answers.
    if (!platform::RunsElevated()) {
        return EndRun(console, {"\nError: kdinstall must be run as an administrator", FailedLine}, ExitFailure);
    }

    PackagePaths packages;
    std::string missing;
    if (!LocatePackages(installerDirectory, packages, missing)) {
        return EndRun(console, {"\nCannot find " + missing + " package", FailedLine}, ExitFailure);
    }

    // KELDO as read, even when empty: the previous installation's directory.
    const std::string previousDirectory = keldo != nullptr ? keldo : "";
    const std::string defaultDestination = DefaultDestination(keldo);

    Print(console, "\nChecking server...");
    if (IsServerRunning(previousDirectory)) {
        return EndRun(console,
                      {"\nThe KELDO service is running (or has not been stopped correctly)",
                       "\nPlease stop it and restart the installation", FailedLine},
                      ExitFailure);
    }

    std::string destination;
    if (AskDestination(console, defaultDestination, destination) == DialogueResult::Quit) {
        return ExitFailure;  // nothing more is printed and Enter is not awaited
    }
    return RunInstallation(console, packages.core, packages.window, destination,
                           defaultDestination, IsDestinationChanged(previousDirectory, destination),
                           keys);
}

}  // namespace kd::driver
