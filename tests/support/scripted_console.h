// A console for tests: its input is a given script and its output is kept
// in a file, so what a run printed can be compared byte for byte.
#pragma once

#include <cstdio>
#include <string>

#include "support/temp_dir.h"
#include "util/console.h"

namespace kd::test {

class ScriptedConsole {
public:
    explicit ScriptedConsole(const std::string& script = "") {
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

    util::Console& Get() { return console; }
    std::string Output() {
        std::fflush(console.output);
        return ReadFile(directory / "output");
    }

private:
    TempDir directory;
    util::Console console;
};

}  // namespace kd::test
