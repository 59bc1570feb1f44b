// kdinstall: installs the KELDO server from the packages beside the program.
#include <cstdlib>

#include "driver/installer.h"

int main(int argc, char** argv) {
    kd::Console console;
    // Only the program path is used; there are no options.
    return kd::RunInstaller(console, argc > 0 && argv[0] != nullptr ? argv[0] : "",
                            std::getenv("KELDO"));
}
