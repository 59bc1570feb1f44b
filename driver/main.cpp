// kdinstall: installs the KELDO server from the packages beside the program.
#include <cstdlib>

#include "driver/installer.h"
#include "package/package_keys.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // First, before anything loads a library: later loads come from the
    // system directory only, and junctions of non-administrators are refused
    // where the system can. Running without either guard is still better
    // than not running, so failures are ignored.
    kd::platform::ProtectProcess();
    kd::util::Console console;
    // Only the program path is used; there are no options.
    return kd::driver::RunInstaller(console, argc > 0 && argv[0] != nullptr ? argv[0] : "",
                            std::getenv("KELDO"), kd::package::BuiltInPackageKeys());
}
