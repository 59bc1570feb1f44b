// kdpack's messages, progress display and temporary outputs.
#include "tools/kdpack/output.h"

#include <algorithm>
#include <cstdarg>
#include <utility>

#include "codec/decoder.h"
#include "platform/clock.h"
#include "tools/kdpack/kdpack.h"
#include "util/files.h"

namespace kd::kdpack {

namespace {

constexpr std::int64_t RedrawMs = 100;

// `bytes` in the unit that suits `scale`, with one decimal: "12.3 MiB".
std::string Amount(std::uint64_t bytes, std::uint64_t scale) {
    static constexpr const char* units[] = {"KiB", "MiB", "GiB"};
    if (scale < 1024) return std::to_string(bytes) + " bytes";
    int unit = 0;
    double divisor = 1024.0;
    while (unit < 2 && scale >= (std::uint64_t{1024} << (10 * (unit + 1)))) {
        ++unit;
        divisor *= 1024.0;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", static_cast<double>(bytes) / divisor, units[unit]);
    return text;
}

std::uint64_t SizeToShow(const Io& io, std::FILE* stream) {
    const std::int64_t size = io.terminal ? util::StreamSize(stream) : -1;
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

}  // namespace

void Fail(Io& io, const char* format, ...) {
    if (io.shown) io.shown->Erase();
    std::fputs("kdpack: ", io.err);
    va_list args;
    va_start(args, format);
    std::vfprintf(io.err, format, args);
    va_end(args);
    std::fputc('\n', io.err);
}

int Usage(Io& io, const std::string& help, const char* problem) {
    Fail(io, "%s", problem);
    std::fputs(help.c_str(), io.err);
    return KdpackUsage;
}

int ParseArguments(Io& io, const std::string& help, const std::vector<std::string>& args,
                   std::initializer_list<Option> options, std::vector<std::string>& positional) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const Option* matched = nullptr;
        for (const Option& option : options) {
            const std::size_t length = std::char_traits<char>::length(option.name);
            if (arg.compare(0, length, option.name) != 0) continue;
            if (arg.size() == length) {
                if (i + 1 >= args.size()) return Usage(io, help, option.missing);
                option.values->push_back(args[++i]);
            } else if (arg[length] == '=') {
                option.values->push_back(arg.substr(length + 1));
            } else {
                continue;
            }
            matched = &option;
            break;
        }
        if (matched) continue;
        if (arg.size() > 1 && arg[0] == '-') return Usage(io, help, ("unknown option " + arg).c_str());
        positional.push_back(arg);
    }
    return -1;
}

const char* DecodeMeaning(int result) {
    switch (result) {
    case DecodeCannotOpen: return "it cannot be opened, or the output cannot be created";
    case codec::DecodeNoHeader: return "it is shorter than the 4-byte length field";
    case codec::DecodeZeroLength: return "its declared length is 0";
    case codec::DecodeWriteFailed: return "the output cannot be written";
    case codec::DecodeTruncated: return "the container is truncated: the stream ends before the declared length";
    default: return "unknown decoder result";
    }
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void BeforeOutput(Io& io) {
    if (io.outTerminal && io.shown) io.shown->Erase();
}

Progress::Progress(Io& io, const char* what, std::uint64_t total)
    : io(io), what(what), total(total), active(io.terminal && total > 0) {
    if (active) start = platform::Now();
}

Progress::~Progress() { Erase(); }

void Progress::Erase() {
    if (drawnLength == 0) return;
    // Blanks over the line; plain spaces work on every console.
    std::fprintf(io.err, "\r%*s\r", static_cast<int>(drawnLength), "");
    std::fflush(io.err);
    drawnLength = 0;
    if (io.shown == this) io.shown = nullptr;
}

void Progress::Show(std::uint64_t done) {
    if (!active) return;
    const std::int64_t now = platform::Now();
    if (now - (drawnLength > 0 ? drawnAt : start) < RedrawMs) return;
    if (done > total) done = total;
    std::string line = std::string(what) + " " + Amount(done, total) + " of " + Amount(total, total) + " (" +
                       std::to_string(done * 100 / total) + "%)";
    const double seconds = static_cast<double>(now - start) / 1000.0;
    if (done > 0 && seconds > 0) {
        const double rate = static_cast<double>(done) / seconds;
        const auto left = static_cast<std::uint64_t>(static_cast<double>(total - done) / rate + 0.999);
        line += ", " + Amount(static_cast<std::uint64_t>(rate), static_cast<std::uint64_t>(rate)) + "/s, " +
                (left < 120 ? std::to_string(left) + " s" : std::to_string((left + 59) / 60) + " min") + " left";
    }
    // What a longer line before left behind is covered with blanks.
    const std::size_t length = line.size();
    if (length < drawnLength) line.append(drawnLength - length, ' ');
    std::fprintf(io.err, "\r%s", line.c_str());
    std::fflush(io.err);
    drawnLength = std::max(length, drawnLength);
    drawnAt = now;
    io.shown = this;
}

ProgressSource::ProgressSource(Io& io, const char* what, std::FILE* stream)
    : source(stream), progress(io, what, SizeToShow(io, stream)) {}

std::size_t ProgressSource::Read(unsigned char* data, std::size_t size) {
    const std::size_t read = source.Read(data, size);
    done += read;
    progress.Show(done);
    return read;
}

std::FILE* CreateTemporary(Io& io, util::TemporaryFile& file) {
    std::FILE* stream = file.Create();
    if (!stream) Fail(io, "cannot create %s", file.Path());
    return stream;
}

bool CloseTemporary(Io& io, util::TemporaryFile& file) {
    if (file.Close()) return true;
    Fail(io, "cannot write %s", file.Path());
    return false;
}

bool WriteReplacing(Io& io, const std::string& target, const std::function<bool(std::FILE*)>& write) {
    util::TemporaryFile output(target + OutputSuffix, KdpackInterrupted);
    std::FILE* stream = CreateTemporary(io, output);
    if (!stream || !write(stream) || !CloseTemporary(io, output)) return false;
    const platform::Error renamed = platform::RenameReplacing(output.Path(), target.c_str());
    if (renamed != platform::Error::None) {
        Fail(io, "cannot rename %s to %s%s", output.Path(), target.c_str(),
             renamed == platform::Error::AccessDenied ? ": access denied, or not a regular file there" : "");
        return false;
    }
    output.Keep();
    return true;
}

bool ReadKeyFile(const std::string& path, std::string& text) {
    const platform::Stream input = util::OpenFileShared(path.c_str(), "rb");
    const std::int64_t size = input ? util::StreamSize(input.get()) : -1;
    if (size < 0 || size > 1 << 20) return false;
    text.assign(static_cast<std::size_t>(size), '\0');
    bool failed = false;
    return platform::ReadBytes(input.get(), text.data(), text.size(), failed) == text.size();
}

}  // namespace kd::kdpack
