// The libFuzzer entry of every fuzz program: KD_FUZZ_TARGET names the check it
// runs. A problem aborts, which libFuzzer keeps as a crashing input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_checks.h"

namespace {

auto FindCheck() {
    for (const kd::fuzz::Target& target : kd::fuzz::Targets) {
        if (std::string_view(target.name) == KD_FUZZ_TARGET) return target.check;
    }
    std::fprintf(stderr, "no check named %s\n", KD_FUZZ_TARGET);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto check = FindCheck();
    const std::string problem = check(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", KD_FUZZ_TARGET, problem.c_str());
        std::abort();
    }
    return 0;
}
