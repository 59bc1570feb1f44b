// Guarantees: the line splitter, fed the script in blocks of any sizes,
// delivers exactly the line pieces the installer's stream reader reads from
// the same bytes, so kdpack and the digest check see the lines the installer
// sees. The first input byte chooses the block size.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "package/script_run.h"
#include "script/format.h"

namespace kd::fuzz {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string CheckScriptLines(std::string_view input) {
    if (input.empty()) return {};
    const std::size_t step = static_cast<unsigned char>(input[0]) % 61 + 1;
    input.remove_prefix(1);
    const auto* data = reinterpret_cast<const unsigned char*>(input.data());

    std::vector<std::string> read;
    const std::unique_ptr<std::FILE, FileCloser> stream(std::tmpfile());
    if (!stream) return {};
    if (std::fwrite(data, 1, input.size(), stream.get()) != input.size()) return {};
    std::rewind(stream.get());
    char buffer[script::LineBufferSize];
    for (std::string line; package::ReadScriptLine(stream.get(), buffer, line) == package::ScriptRead::Line;)
        read.push_back(line);

    std::vector<std::string> split;
    script::LineSplitter splitter;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t block = step < input.size() - at ? step : input.size() - at;
        for (std::size_t used = 0; used < block;) {
            used += splitter.Take(data + at + used, block - used);
            if (splitter.Complete()) {
                split.push_back(splitter.Line());
                splitter.Clear();
            }
        }
        at += block;
    }
    if (!splitter.Empty()) split.push_back(splitter.Line());
    if (split.size() != read.size()) {
        return std::to_string(split.size()) + " pieces split, " + std::to_string(read.size()) + " read";
    }
    for (std::size_t i = 0; i < split.size(); ++i) {
        if (split[i] != read[i]) return "piece " + std::to_string(i) + " differs";
    }
    return {};
}

}  // namespace kd::fuzz
