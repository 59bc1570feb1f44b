// fuzz_install: whatever the script, Install neither crashes nor writes,
// changes or deletes anything outside its scratch working directory, and
// its temporary script file is gone when it returns; kdpack's script check
// refuses the package whenever Install calls it a bad package, and never
// when Install succeeds.
//
// The input is the script after the header and line 2; an input that begins
// with the byte 0xFF is the whole script instead, so the header is fuzzed too.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "fuzz/fuzz_checks.h"
#include "package/package.h"
#include "script/rules.h"
#include "tools/kdpack/script_check.h"

namespace kd::fuzz {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MaxScript = 16384;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// root/
//   in/keldo_core.pkg   the package
//   outside/canary.txt
//   sibling.txt
//   level/marker.txt
//   level/work/         the working directory, holding the destination "dest"
// Up to two ".." from the working directory or the destination stay in root,
// where the check below sees them.
class Sandbox {
public:
    Sandbox() {
        std::random_device random;
        root = fs::temp_directory_path() / ("kd-fuzz-install-" + std::to_string(random()));
        fs::create_directories(root / "in");
        fs::create_directories(root / "outside");
        fs::create_directories(root / "level");
        Put(root / "outside/canary.txt", "canary");
        Put(root / "sibling.txt", "sibling");
        Put(root / "level/marker.txt", "marker");
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(root, ignored);
    }

    fs::path root;
    fs::path Work() const { return root / "level/work"; }
    fs::path Package() const { return root / "in" / script::CorePackage; }

    // Everything in root except below the working directory.
    std::map<std::string, std::string> Outside() const {
        std::map<std::string, std::string> entries;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const fs::path& path = it->path();
            if (path == Work()) {
                it.disable_recursion_pending();
                continue;
            }
            const std::string name = path.lexically_relative(root).generic_string();
            entries[name] = it->is_directory() ? "/" : Slurp(path);
        }
        return entries;
    }
};

}  // namespace

std::string CheckInstall(std::string_view input) {
    static Sandbox sandbox;
    if (input.size() > MaxScript) return {};

    std::string script(input);
    if (!script.empty() && static_cast<unsigned char>(script[0]) == 0xFF) {
        script.erase(0, 1);
    } else {
        script = "KELDO PACKAGE FILE\nfuzz\n" + script;
    }
    std::string container;
    if (!codec::PackageEncoder().Encode(script, container)) return {};
    Put(sandbox.Package(), container);

    std::error_code ec;
    fs::remove_all(sandbox.Work(), ec);
    fs::create_directories(sandbox.Work());
    const auto before = sandbox.Outside();

    // Names before the first DIR are relative to the working directory. The
    // fuzzer's own is restored at once: it reads its corpus by relative paths.
    const fs::path fuzzerDirectory = fs::current_path();
    fs::current_path(sandbox.Work());
    package::KdPackage package;
    const fs::path destination = sandbox.Work() / "dest";
    const bool ok = package.Install(sandbox.Package().string(), destination.string(), false);
    fs::current_path(fuzzerDirectory);
    if (ok != package.errorText.empty()) return "the result disagrees with errorText: " + package.errorText;
    if (sandbox.Outside() != before) return "Install wrote outside its working directory";
    if (fs::exists(destination / (std::string(script::CorePackage) + script::TemporarySuffix))) return "the temporary script file was left behind";

    kdpack::ScriptCheck check(destination.string().size(), {script::CorePackage});
    codec::PackageDecoder decoder;
    if (decoder.Decode(container, check, 0) == codec::DecodeOk) check.Finish();
    const bool bad = package.errorText.rfind("Bad package file ", 0) == 0;
    if (check.Refused() && ok) return "kdpack refuses a package the installer installs";
    if (bad && !check.Refused()) return "the installer refuses a package kdpack accepts: " + package.errorText;
    return {};
}

}  // namespace kd::fuzz
