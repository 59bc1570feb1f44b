// Helpers of the driver suite: environment variables and the suite's own
// binary as a child process; the scripted console comes from support/.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/run_end.h"
#include "support/scripted_console.h"
#include "support/temp_dir.h"

namespace kd::test {

// The child modes of this binary, chosen by the variable KD_DRIVER_CHILD:
//   exit:N          ends with exit code N
//   record:FILE     appends its working directory and arguments to FILE
//   wait:STOP|DONE  waits (at most 60 s) until STOP exists, then writes DONE
//   sleep           sleeps 60 s
constexpr const char* ChildModeVariable = "KD_DRIVER_CHILD";

inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");  // an empty value removes it
#else
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

// Bytes as registry units one to one, the way the POSIX stand-in holds them,
// and back (every unit below 256).
inline std::u16string Units(const std::string& bytes) {
    std::u16string units;
    for (const char c : bytes) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    return units;
}
inline std::string Bytes(const std::u16string& units) {
    std::string bytes;
    for (const char16_t unit : units) bytes += static_cast<char>(unit);
    return bytes;
}

}  // namespace kd::test
