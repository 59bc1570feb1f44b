// kdinstall: installs the KELDO server from the packages beside the program.
#include <string>

#include "driver/installer.h"
#include "package/package_keys.h"
#include "platform/environment.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // First, before anything loads a library: later loads come from the
    // system directory only, and junctions of non-administrators are refused
    // where the system can. Running without either guard is still better
    // than not running, so failures are ignored.
    kd::platform::ProtectProcess();
    kd::util::Console console;
    std::string keldo;
    const bool hasKeldo = kd::platform::EnvironmentVariable("KELDO", keldo);
    // Only the program path is used; there are no options.
    return kd::driver::RunInstaller(console, argc > 0 && argv[0] != nullptr ? argv[0] : "",
                                    hasKeldo ? keldo.c_str() : nullptr, kd::package::BuiltInPackageKeys());
}
