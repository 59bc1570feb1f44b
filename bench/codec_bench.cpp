// Codec figures for a set of files: sizes and ratios of the encoder and of a
// greedy baseline, encode speed, and decode speed file to file against the
// plain byte-at-a-time reference decoder on the same container.
//   codec_bench WORK_DIR FILE...
//   codec_bench --reference-decode PKG OUT   (for counting its instructions)
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/decode_file.h"
#include "bench/greedy_encoder.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "reference_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char block[1 << 16];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) text.append(block, n);
        std::fclose(f);
    }
    return text;
}

bool WriteAll(const std::string& path, const std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

// Best time of `runs` calls, in seconds.
template <class F>
double Best(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// The reference decoder with stream input and output, one byte per call.
int ReferenceDecodeFile(const char* input, const char* output) {
    std::FILE* in = std::fopen(input, "rb");
    std::FILE* out = std::fopen(output, "wb");
    if (!in || !out) {
        if (in) std::fclose(in);
        if (out) std::fclose(out);
        return 1;
    }
    auto source = [in]() -> int { return std::getc(in); };
    auto sink = [out](unsigned char byte) { return std::putc(byte, out) != EOF; };
    const int result = kd::reference::Decode(source, sink, 0);
    std::fclose(in);
    std::fclose(out);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--reference-decode")
        return ReferenceDecodeFile(argv[2], argv[3]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: codec_bench WORK_DIR FILE...\n");
        return 2;
    }
    const std::string work = argv[1];
    std::printf("%-14s %10s %10s %6s %7s %9s %9s %9s %7s\n", "file", "original", "packed", "ratio",
                "greedy", "enc MB/s", "dec MB/s", "ref MB/s", "speedup");
    for (int i = 2; i < argc; ++i) {
        const std::string path = argv[i];
        const std::string text = ReadAll(path);
        if (text.empty()) {
            std::fprintf(stderr, "%s: cannot read or empty\n", path.c_str());
            continue;
        }
        const double mb = static_cast<double>(text.size()) / 1e6;
        kd::codec::PackageEncoder encoder;
        std::string container;
        const double encodeTime = Best(2, [&] { encoder.Encode(text, container); });
        const std::string greedy = kd::bench::GreedyEncode(text);

        const std::string packed = work + "/bench.pkg", plain = work + "/bench.out";
        WriteAll(packed, container);
        
        int result = 0;
        const double decodeTime =
            Best(3, [&] { result = kd::bench::DecodeFile(packed.c_str(), plain.c_str()); });
        const bool same = result == kd::codec::DecodeOk && ReadAll(plain) == text;
        const double referenceTime = Best(2, [&] { ReferenceDecodeFile(packed.c_str(), plain.c_str()); });
        const bool referenceSame = ReadAll(plain) == text;

        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-14s %10zu %10zu %6.4f %7.4f %9.1f %9.1f %9.1f %6.2fx%s\n", name.c_str(),
                    text.size(), container.size(),
                    static_cast<double>(container.size()) / static_cast<double>(text.size()),
                    static_cast<double>(greedy.size()) / static_cast<double>(text.size()),
                    mb / encodeTime, mb / decodeTime, mb / referenceTime, referenceTime / decodeTime,
                    same && referenceSame ? "" : "  MISMATCH");
    }
    std::remove((work + "/bench.pkg").c_str());
    std::remove((work + "/bench.out").c_str());
    return 0;
}
