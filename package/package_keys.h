// The public keys built into a kdinstall program.
#pragma once

#include <span>

namespace kd::package {

// The public keys (PEM) built into this program: empty for an installer
// that takes packages unsigned. Each program links the definition CMake
// generates from its key files (kd_package_keys); nothing at run time can
// add or change one.
std::span<const char* const> BuiltInPackageKeys();

}  // namespace kd::package
