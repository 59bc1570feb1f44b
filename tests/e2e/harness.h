// What the end-to-end runs need of the system: starting a program with a
// chosen argv[0], working directory, standard input and KELDO, and the
// machine environment values (the Wine prefix's registry under Windows, the
// stand-in's file natively).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kd::e2e {

struct RunResult {
    bool started = false;
    bool finished = false;    // false: killed after the time limit
    std::int32_t exitCode = 0;
    std::string output;       // standard output and error, as written
};

// Runs `program`, whose command line (argv[0]) is `programText` in quotes, in
// `workingDirectory`, with `input` as standard input and this process's
// environment less KELDO, plus KELDO=`keldo` when given. `scratch` is a
// directory for the input and output files.
RunResult RunProgram(const std::string& program, const std::string& programText,
                     const std::string& workingDirectory, const std::string& input,
                     const std::optional<std::string>& keldo, const std::string& scratch);

#ifdef _WIN32
// Runs `program` with a whole command line of the caller's, otherwise as RunProgram.
RunResult RunCommandLine(const std::string& program, const std::string& commandLine,
                         const std::string& workingDirectory, const std::string& input,
                         const std::optional<std::string>& keldo, const std::string& scratch);
#endif

struct RegistryValue {
    bool exists = false;
    std::uint32_t type = 0;  // 1 REG_SZ, 2 REG_EXPAND_SZ, 7 REG_MULTI_SZ
    std::string data;
};

// The machine environment values KELDO and PATH. BeginRegistry saves them
// (natively it points the stand-in at a file in `scratch`), EndRegistry puts
// them back as they were.
void BeginRegistry(const std::string& scratch);
void EndRegistry();
RegistryValue ReadValue(const char* name);
void WriteValue(const char* name, std::uint32_t type, const std::string& data);
void DeleteValue(const char* name);

// A value's data as stored: under Windows the bytes of the wide registry
// calls (UTF-16 little-endian for strings, with whatever NULs were stored),
// natively the stand-in's bytes.
RegistryValue ReadStoredValue(const char* name);
void WriteStoredValue(const char* name, std::uint32_t type, const std::string& bytes);

}  // namespace kd::e2e
