// The whole run of kdinstall, and its last phase, the installation sequence.
#pragma once

#include <span>
#include <string>

#include "driver/run_end.h"

namespace kd::driver {

// Installs the core and then the window package into `destination`, records
// the installation in the machine environment, registers the service and
// ends the run with its success or failure ending. Returns the exit code.
// With `keys`, only packages signed by one of them install.
int RunInstallation(util::Console& console, const std::string& corePackagePath,
                    const std::string& windowPackagePath, const std::string& destination,
                    const std::string& defaultDestination, bool destinationChanged,
                    std::span<const char* const> keys = {});

// The program entry's work: finds the installer directory from `programPath`
// and the packages beside it, refuses to go on while the previous
// installation's server runs, asks for the destination and installs.
// `keldo` is the KELDO variable as read (null when unset). Returns 0 after a
// successful installation and -1 otherwise. `keys`: the built-in package keys.
int RunInstaller(util::Console& console, const std::string& programPath, const char* keldo,
                 std::span<const char* const> keys = {});

}  // namespace kd::driver
