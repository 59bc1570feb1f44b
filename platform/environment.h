// This process's environment variables.
#pragma once

#include <string>

namespace kd::platform {

// The value of the variable `name` in `value`; false, with `value` empty,
// when the variable does not exist. An existing empty variable gives true
// (Win32: GetEnvironmentVariableA; POSIX: getenv).
bool EnvironmentVariable(const char* name, std::string& value);

}  // namespace kd::platform
