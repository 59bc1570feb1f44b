// kdpack_bench: kdpack verify and list on a generated package of many FILE
// entries with distinct names, and the peak resident memory of each run.
// Targets: verify at most 40 bytes a distinct path (3 million entries: 120 MB),
// list flat.
//
//   kdpack_bench [entries]     (default 3000000)
//
// The package is generated, and each command run, by a child run of this
// program, so that every peak is the command's own.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "tools/kdpack/kdpack.h"

namespace fs = std::filesystem;

namespace {

constexpr int FilesPerDirectory = 1000;

// The script goes to a file first, then the encoder streams it: nothing of
// it is held whole in memory.
int Generate(const std::string& packagePath, std::uint64_t entries) {
    const std::string scriptPath = packagePath + ".script";
    std::FILE* script = std::fopen(scriptPath.c_str(), "wb");
    if (!script) return 1;
    std::fputs("KELDO PACKAGE FILE\nbenchmark package\n", script);
    for (std::uint64_t i = 0; i < entries; ++i) {
        if (i % FilesPerDirectory == 0)
            std::fprintf(script, "[DIR]\nName = Data\\d%llu\n", static_cast<unsigned long long>(i / FilesPerDirectory));
        const unsigned size = static_cast<unsigned>(i % 7);
        std::fprintf(script, "[FILE]\nName = entry%llu.dat\nSize = %u\n%.*s\n", static_cast<unsigned long long>(i),
                     size, static_cast<int>(size), "abcdefg");
    }
    if (std::fclose(script) != 0) return 1;
    const char* argv[] = {"kdpack", "compress", scriptPath.c_str(), packagePath.c_str()};
    std::FILE* quiet = std::fopen("/dev/null", "w");
    const bool ok = quiet && kd::kdpack::RunKdpack(4, argv, quiet, quiet) == kd::kdpack::KdpackOk;
    if (quiet) std::fclose(quiet);
    fs::remove(scriptPath);
    return ok ? 0 : 1;
}

// Runs one kdpack command on the package, its output discarded, and prints
// its time and this process's peak memory.
int RunCommand(const char* command, const char* packagePath, std::uint64_t entries) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    const char* argv[] = {"kdpack", command, packagePath};
    const auto start = std::chrono::steady_clock::now();
    const int exit = kd::kdpack::RunKdpack(3, argv, sink, sink);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fclose(sink);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("kdpack %-7s %7.2f s   peak resident memory %7.1f MB, %5.1f bytes a path (target <= 40)%s\n",
                command, seconds, usage.ru_maxrss / 1024.0, usage.ru_maxrss * 1024.0 / static_cast<double>(entries),
                exit == 0 ? "" : "  (FAILED)");
    return exit;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--generate") return Generate(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (argc == 5 && std::string(argv[1]) == "--run")
        return RunCommand(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
    const std::uint64_t entries = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 3000000;

    std::random_device seed;
    const fs::path work = fs::temp_directory_path() / ("kd-kdpack-bench-" + std::to_string(seed()));
    fs::create_directories(work);
    const std::string package = (work / "many.pkg").string();
    const std::string self = std::string("\"") + argv[0] + "\" ";

    const auto start = std::chrono::steady_clock::now();
    int failed = std::system((self + "--generate \"" + package + "\" " + std::to_string(entries)).c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failed == 0) {
        std::printf("package: %llu FILE entries, %.1f MB compressed (generated in %.1f s)\n",
                    static_cast<unsigned long long>(entries), fs::file_size(package) / 1048576.0, seconds);
        std::fflush(stdout);
        for (const char* command : {"verify", "list"})
            failed |= std::system(
                (self + "--run " + command + " \"" + package + "\" " + std::to_string(entries)).c_str());
    } else {
        std::fprintf(stderr, "generating the package failed\n");
    }
    fs::remove_all(work);
    return failed == 0 ? 0 : 1;
}
