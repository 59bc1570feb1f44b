// kdpack pack: walks a source tree without following links, writes the script
// body to a scratch file beside the output, then compresses the header, the
// digest line and the body into the package.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "script/format.h"
#include "script/line2.h"
#include "script/rules.h"
#include "tools/kdpack/commands.h"
#include "tools/kdpack/kdpack.h"
#include "util/files.h"
#include "util/names.h"
#include "util/strings.h"

namespace kd::kdpack {

namespace {

constexpr std::size_t CopyBlock = 1 << 16;
// True when the "Name = " line of a name of `length` bytes would not fit
// one line piece.
constexpr bool NameLineTooLong(std::size_t length) {
    return sizeof script::NameMarker - 1 + length + 1 > script::LinePiece;
}
const std::string LongLine = "line would be longer than " + std::to_string(script::LinePiece) + " bytes";

struct PackedFile {
    std::string name;
    std::uint64_t size = 0;
    bool text = false;
};

struct PackedDirectory {
    std::string relative;  // below SOURCE_DIR, "\" between levels; empty for the root
    std::vector<PackedFile> files;
};

struct Walk {
    std::vector<std::string> patterns;
    // The output's directory and the names kdpack writes there.
    std::string outputDirectory;
    std::string outputPath;
    std::string keyPath;  // the private key of --sign, never packed
    std::vector<std::string> outputNames;  // upper-cased as Windows compares names
    std::vector<PackedDirectory> directories;  // in script order
    std::size_t directorySections = 0;  // [DIR] lines written, as list counts them
    std::vector<std::string> problems;
    std::vector<std::string> leftOut;
    std::uint64_t fileBytes = 0;
    std::size_t fileCount = 0;
};

struct Entries {
    std::vector<std::string> files, subdirectories, links, special;
};

// The names of a directory's files, subdirectories, links and special files,
// each sorted byte-wise. A link is never followed, whatever it points to; a
// special file is never opened (reading a FIFO would wait for a writer).
bool ListEntries(const std::string& directory, Entries& entries) {
    platform::FindHandle search;
    platform::FindEntry entry;
    const std::string pattern = directory + "\\*";
    if (!search.First(pattern.c_str(), entry)) return false;
    do {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.isLink) {
            entries.links.push_back(entry.name);
        } else if (entry.isSpecial) {
            entries.special.push_back(entry.name);
        } else {
            (entry.isDirectory ? entries.subdirectories : entries.files).push_back(entry.name);
        }
    } while (search.Next(entry));
    std::sort(entries.files.begin(), entries.files.end());
    std::sort(entries.subdirectories.begin(), entries.subdirectories.end());
    std::sort(entries.links.begin(), entries.links.end());
    std::sort(entries.special.begin(), entries.special.end());
    return true;
}


// The directory a path lies in, as a path that names it.
std::string ParentOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return ".";
    if (separator == 0) return path.substr(0, 1);
    std::string parent = path.substr(0, separator);
    if (parent.back() == ':') parent += '\\';
    return parent;
}

// Windows ignores letter case in names: two entries of one directory that
// differ only in it would land on one file. Each is named with the last
// earlier entry it clashes with. One directory's names are compared whole,
// not by hash: a listing never holds the same bytes twice.
void CheckLetterCase(Walk& walk, const std::string& prefix, const Entries& found) {
    std::unordered_map<std::string, std::string> seen;  // upper-cased name -> last name shown
    auto add = [&](const std::string& name, const char* suffix) {
        if (script::IsSkippedFile(name)) return;
        auto [at, first] = seen.try_emplace(script::UpperCaseName(name));
        if (!first)
            walk.problems.push_back(prefix + at->second + " and " + prefix + name + suffix +
                                    ": the names differ only in letter case, which Windows ignores (code page " +
                                    std::to_string(script::AssumedCodePage) + " assumed)");
        at->second = name + suffix;
    };
    for (const std::string& name : found.files) add(name, "");
    for (const std::string& name : found.subdirectories) add(name, "\\");
}

// True for the output and kdpack's temporary files when the output lies in
// the directory being walked: they are never packed.
bool IsOwnOutput(const Walk& walk, const std::string& path, const std::string& name, bool inOutputDirectory) {
    if (!inOutputDirectory) return false;
    const std::string folded = script::UpperCaseName(name);
    return std::find(walk.outputNames.begin(), walk.outputNames.end(), folded) != walk.outputNames.end() ||
           platform::SameFile(path.c_str(), walk.outputPath.c_str());
}

void WalkDirectory(Walk& walk, const std::string& absolute, const std::string& relative) {
    Entries entries;
    if (!ListEntries(absolute, entries)) {
        walk.problems.push_back("cannot list directory " + (relative.empty() ? absolute : relative));
        return;
    }
    PackedDirectory directory{relative, {}};
    const std::string prefix = relative.empty() ? "" : relative + "\\";
    const bool inOutputDirectory = platform::SameFile(absolute.c_str(), walk.outputDirectory.c_str());
    for (const std::string& name : entries.links) {
        if (IsOwnOutput(walk, absolute + "\\" + name, name, inOutputDirectory)) {
            walk.leftOut.push_back(prefix + name + ": it is kdpack's own output");
            continue;
        }
        walk.problems.push_back(prefix + name +
                                ": a symbolic link or junction; a package cannot hold a link, and pack "
                                "does not copy what it points to");
    }
    for (const std::string& name : entries.special)
        walk.problems.push_back(prefix + name + ": a FIFO, socket or device; a package holds regular files only");
    if (!relative.empty() && NameLineTooLong(relative.size()))
        walk.problems.push_back(relative + ": the [DIR] " + LongLine);
    CheckLetterCase(walk, prefix, entries);
    for (const std::string& name : entries.files) {
        const std::string path = absolute + "\\" + name;
        if (IsOwnOutput(walk, path, name, inOutputDirectory)) {
            walk.leftOut.push_back(prefix + name + ": it is kdpack's own output");
            continue;
        }
        if (!walk.keyPath.empty() && platform::SameFile(path.c_str(), walk.keyPath.c_str())) {
            walk.problems.push_back(prefix + name + ": the private key of --sign; keep it out of the tree");
            continue;
        }
        if (script::IsSkippedFile(name)) {
            walk.leftOut.push_back(prefix + name + ": the installer never writes it");
            continue;
        }
        const std::string problem = util::NameProblem(name);
        if (!problem.empty()) {
            walk.problems.push_back(prefix + name + ": " + problem);
            continue;
        }
        if (NameLineTooLong(name.size())) {
            walk.problems.push_back(prefix + name + ": the name " + LongLine);
            continue;
        }
        platform::Stream stream = util::OpenFileShared(path.c_str(), "rb");
        const std::int64_t size = util::StreamSize(stream.get());
        if (size < 0) {
            walk.problems.push_back(prefix + name + ": cannot be read");
            continue;
        }
        bool text = false;
        for (const std::string& pattern : walk.patterns) text = text || util::WildcardMatch(pattern, name);
        directory.files.push_back({name, static_cast<std::uint64_t>(size), text});
        walk.fileBytes += static_cast<std::uint64_t>(size);
        ++walk.fileCount;
    }
    walk.directories.push_back(std::move(directory));
    for (const std::string& name : entries.subdirectories) {
        const std::string problem = util::NameProblem(name);
        if (!problem.empty()) {
            walk.problems.push_back(prefix + name + "\\: " + problem);
            continue;
        }
        WalkDirectory(walk, absolute + "\\" + name, prefix + name);
    }
}

// Writes the commands of the walked tree to `body`, hashing what it writes.
std::string WriteBody(const std::string& source, Walk& walk, std::FILE* body,
                      platform::Sha256& hash, std::uint64_t& bodySize, Progress& progress) {
    std::uint64_t copied = 0;
    bodySize = 0;
    auto put = [&](const void* data, std::size_t size) {
        hash.Update(data, size);
        bodySize += size;
        return platform::WriteBytes(body, data, size) == size;
    };
    auto putText = [&](const std::string& text) { return put(text.data(), text.size()); };
    std::vector<char> block(CopyBlock);
    for (const PackedDirectory& directory : walk.directories) {
        // The root needs a [DIR] (with an empty name) only when it has files.
        if (directory.relative.empty() && directory.files.empty()) continue;
        if (!putText(script::Section(script::Command::Dir, directory.relative))) return "cannot write the script";
        ++walk.directorySections;
        const std::string base = directory.relative.empty() ? source : source + "\\" + directory.relative;
        for (const PackedFile& file : directory.files) {
            const std::string shown =
                directory.relative.empty() ? file.name : directory.relative + "\\" + file.name;
            if (!putText(script::FileSection(file.name, file.size))) return "cannot write the script";
            platform::Stream input = util::OpenFileShared((base + "\\" + file.name).c_str(), "rb");
            if (!input) return shown + ": cannot be read";
            for (std::uint64_t left = file.size; left > 0;) {
                const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
                bool failed = false;
                if (platform::ReadBytes(input.get(), block.data(), want, failed) != want)
                    return shown + (failed ? ": cannot be read" : ": shrank while it was packed");
                if (!put(block.data(), want)) return "cannot write the script";
                left -= want;
                progress.Show(copied += want);
            }
            if (platform::ReadByte(input.get()) != EOF) return shown + ": grew while it was packed";
            // A line end after the data keeps the script readable; the
            // installer skips the empty line it makes.
            if (!putText("\n")) return "cannot write the script";
            if (file.text && !putText(script::Section(script::Command::TextFile, file.name)))
                return "cannot write the script";
        }
    }
    return {};
}

}  // namespace

int Pack(Io& io, const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    Walk walk;
    std::vector<std::string> keyPaths;
    const int understood = ParseArguments(io, PackHelp, args,
                                          {{"--text", "--text needs a pattern", &walk.patterns},
                                           {"--sign", "--sign needs a private key", &keyPaths}},
                                          positional);
    if (understood >= 0) return understood;
    // The last --sign counts, as with any option given twice.
    const std::string keyPath = keyPaths.empty() ? std::string() : keyPaths.back();
    if (positional.size() != 2) return Usage(io, PackHelp, "pack needs SOURCE_DIR and OUT.pkg");
    std::string source = positional[0];
    const std::string& target = positional[1];
    util::RemoveTrailingSeparator(source);
    if (source.empty()) source = positional[0];
    if (!util::PathExists(source.c_str()) || util::FileExists(source.c_str())) {
        Fail(io, "%s is not a directory", positional[0].c_str());
        return KdpackFailed;
    }

    std::string pem;
    if (!keyPath.empty() && !ReadSigningKey(io, keyPath, pem)) return KdpackFailed;

    walk.outputPath = target;
    walk.keyPath = keyPath;
    walk.outputDirectory = ParentOf(target);
    for (const char* suffix : {"", OutputSuffix, BodySuffix})
        walk.outputNames.push_back(script::UpperCaseName(BaseName(target) + suffix));
    WalkDirectory(walk, source, "");
    for (const std::string& name : walk.leftOut) std::fprintf(io.err, "kdpack: leaving out %s\n", name.c_str());
    if (!walk.problems.empty()) {
        for (const std::string& problem : walk.problems) Fail(io, "cannot pack %s", problem.c_str());
        return KdpackFailed;
    }

    // The files alone can already pass the limit: refuse before copying them.
    const auto limit = static_cast<std::uint64_t>(script::MaxSize);
    if (walk.fileBytes > limit) {
        Fail(io, "the files hold %llu bytes; the installer reads scripts below %s only",
             static_cast<unsigned long long>(walk.fileBytes), InGiB(limit + 1).c_str());
        return KdpackFailed;
    }
    util::TemporaryFile body(target + BodySuffix, KdpackInterrupted);
    platform::Sha256 bodyHash;
    std::uint64_t bodySize = 0;
    if (!CreateTemporary(io, body)) return KdpackFailed;
    Progress reading(io, "reading files", walk.fileBytes);
    const std::string error = WriteBody(source, walk, body.Stream(), bodyHash, bodySize, reading);
    reading.Erase();
    if (!error.empty()) {
        Fail(io, "%s", error.c_str());
        return KdpackFailed;
    }
    if (!CloseTemporary(io, body)) return KdpackFailed;
    unsigned char digest[script::DigestSize];
    if (!bodyHash.Finish(digest)) {
        Fail(io, "cannot compute the SHA-256 of the script");
        return KdpackFailed;
    }
    const unsigned char(*signature)[script::SignatureSize] = nullptr;
    unsigned char signatureBytes[script::SignatureSize];
    if (!keyPath.empty()) {
        if (!SignWithKey(io, pem, keyPath, digest, signatureBytes)) return KdpackFailed;
        signature = &signatureBytes;
    }
    const std::string prefix = script::ScriptPrefix(digest, signature);
    if (prefix.size() + bodySize > limit) {
        Fail(io, "the script would have %llu bytes; the installer reads scripts below %s only",
             static_cast<unsigned long long>(prefix.size() + bodySize), InGiB(limit + 1).c_str());
        return KdpackFailed;
    }

    platform::Stream bodyInput = util::OpenFileShared(body.Path(), "rb");
    if (!bodyInput) {
        Fail(io, "cannot read %s", body.Path());
        return KdpackFailed;
    }
    Compressed compressed;
    const bool written = WriteReplacing(io, target, [&](std::FILE* output) {
        return CompressStream(io, prefix, bodyInput.get(), output, body.Path(), compressed);
    });
    if (!written) return KdpackFailed;
    std::fprintf(io.out, "%s: %zu directories, %zu files (%llu bytes); script %llu bytes, package %llu bytes (%.3f)\n",
                 target.c_str(), walk.directorySections, walk.fileCount,
                 static_cast<unsigned long long>(walk.fileBytes),
                 static_cast<unsigned long long>(compressed.textBytes),
                 static_cast<unsigned long long>(compressed.packageBytes),
                 static_cast<double>(compressed.packageBytes) / static_cast<double>(compressed.textBytes));
    std::fprintf(io.out, "sha256 %s  %s\n", compressed.packageDigest.c_str(), target.c_str());
    return KdpackOk;
}

}  // namespace kd::kdpack
