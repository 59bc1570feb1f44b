// Helpers of the driver suite: a console fed from a script, environment
// variables, and the suite's own binary as a child process.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/console.h"
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

// A console whose input is `script` and whose output is kept in a file.
class ScriptedConsole {
public:
    explicit ScriptedConsole(const std::string& script) {
        WriteFile(directory / "input", script);
        console.input = std::fopen((directory / "input").c_str(), "rb");
        console.output = std::fopen((directory / "output").c_str(), "wb");
    }
    ~ScriptedConsole() {
        if (console.input != nullptr) std::fclose(console.input);
        if (console.output != nullptr) std::fclose(console.output);
    }
    ScriptedConsole(const ScriptedConsole&) = delete;
    ScriptedConsole& operator=(const ScriptedConsole&) = delete;

    Console& Get() { return console; }
    std::string Output() {
        std::fflush(console.output);
        return ReadFile(directory / "output");
    }

private:
    TempDir directory;
    Console console;
};

}  // namespace kd::test
