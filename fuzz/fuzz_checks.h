// The checks behind the fuzz targets, one fuzz_<name>.cpp each. The libFuzzer
// programs abort on a problem; the corpus replay test reports it as a
// failure, so every stored input runs in the ordinary suites too.
#pragma once

#include <string>
#include <string_view>

namespace kd::fuzz {

// Each returns an empty string when the input passes the target's checks,
// otherwise what went wrong.
std::string CheckDecode(std::string_view input);
std::string CheckRoundTrip(std::string_view input);
std::string CheckInstall(std::string_view input);
std::string CheckScriptLines(std::string_view input);

struct Target {
    const char* name;  // the program, and its directory under fuzz/corpus
    std::string (*check)(std::string_view input);
};

inline constexpr Target Targets[] = {
    {"fuzz_decode", CheckDecode},
    {"fuzz_roundtrip", CheckRoundTrip},
    {"fuzz_install", CheckInstall},
    {"fuzz_script_lines", CheckScriptLines},
};

}  // namespace kd::fuzz
