// Guarantees that the line splitter, fed the script in blocks of any sizes,
// delivers exactly the line pieces the installer's stream reader reads from
// the same bytes: kdpack and the digest check see the lines the installer
// sees. The first input byte chooses the block sizes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/script_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = data[0] % 61 + 1;
    ++data;
    --size;

    std::vector<std::string> read;
    std::FILE* stream = std::tmpfile();
    if (!stream) return 0;
    std::fwrite(data, 1, size, stream);
    std::rewind(stream);
    char buffer[kd::script::LineBufferSize];
    for (std::string line; kd::script::ReadLine(stream, buffer, line);) read.push_back(line);
    std::fclose(stream);

    std::vector<std::string> split;
    kd::script::LineSplitter splitter;
    for (std::size_t at = 0; at < size;) {
        const std::size_t block = step < size - at ? step : size - at;
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
    if (split != read) std::abort();
    return 0;
}
