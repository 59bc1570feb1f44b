// kdpack pack: walks a source tree without following links, writes the script
// body to a scratch file beside the output, then compresses the header, the
// digest line and the body into the package.
#include <algorithm>
#include <vector>

#include "platform/code_page.h"
#include "script/folded_paths.h"
#include "script/format.h"
#include "script/line2.h"
#include "script/rules.h"
#include "tools/kdpack/commands.h"
#include "tools/kdpack/kdpack.h"
#include "tools/kdpack/script_check.h"
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
    std::string name;    // in the code page
    std::string source;  // as the file system gives it (UTF-8)
    std::uint64_t size = 0;
    bool text = false;
};

struct PackedDirectory {
    std::string relative;  // below SOURCE_DIR in the code page, "\" between levels; empty for the root
    std::string source;    // the same as the file system gives it
    std::vector<PackedFile> files;
};

struct Walk {
    script::CodePage codePage;
    std::vector<std::string> patterns;  // in the code page
    std::vector<std::string> excludes;  // UTF-8, "\\" between levels
    std::size_t excluded = 0;           // entries --exclude left out
    // The output's directory and the names kdpack writes there, all UTF-8.
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

// An entry by both its names; `name` is empty when the code page cannot hold it.
struct Entry {
    std::string source, name;
};

struct Entries {
    std::vector<Entry> files, subdirectories;
    std::vector<std::string> links, special;
};

// The entries of a directory, files and subdirectories sorted by their names
// in the code page, so that both builds write one order. Names the code page
// cannot hold are problems. A link is never followed, whatever it points to;
// a special file is never opened (reading a FIFO would wait for a writer).
bool ListEntries(Walk& walk, const std::string& directory, const std::string& shownPrefix, Entries& entries) {
    std::vector<platform::FindEntry> found;
    if (!platform::ListDirectoryUtf8(directory, found)) return false;
    for (const platform::FindEntry& entry : found) {
        // Judged as the file system names it: a name left out needs no conversion.
        const bool left = std::any_of(walk.excludes.begin(), walk.excludes.end(), [&](const std::string& pattern) {
            return util::WildcardMatch(pattern, entry.name) || util::WildcardMatch(pattern, shownPrefix + entry.name);
        });
        if (left) {
            ++walk.excluded;
        } else if (entry.isLink) {
            entries.links.push_back(entry.name);
        } else if (entry.isSpecial) {
            entries.special.push_back(entry.name);
        } else {
            Entry named{entry.name, {}};
            const std::string problem = walk.codePage.Convert(entry.name, named.name);
            if (!problem.empty()) {
                walk.problems.push_back(shownPrefix + entry.name + (entry.isDirectory ? "\\" : "") + ": " + problem);
                named.name.clear();
            }
            (entry.isDirectory ? entries.subdirectories : entries.files).push_back(std::move(named));
        }
    }
    const auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    std::sort(entries.files.begin(), entries.files.end(), byName);
    std::sort(entries.subdirectories.begin(), entries.subdirectories.end(), byName);
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
// earlier entry it clashes with.
void CheckLetterCase(Walk& walk, const std::string& prefix, const Entries& found) {
    std::vector<std::string> files, subdirectories;
    for (const Entry& entry : found.files) files.push_back(entry.name);
    for (const Entry& entry : found.subdirectories) subdirectories.push_back(entry.name);
    const auto shown = [&](std::size_t index) {
        return index < files.size() ? found.files[index].source
                                    : found.subdirectories[index - files.size()].source + "\\";
    };
    for (const auto& [earlier, later] : script::SameNames(walk.codePage.Case(), files, subdirectories))
        walk.problems.push_back(prefix + shown(earlier) + " and " + prefix + shown(later) +
                                ": the names differ only in letter case, which Windows ignores (code page " +
                                std::to_string(walk.codePage.Number()) + " assumed)");
}

// True for the output and kdpack's temporary files when the output lies in
// the directory being walked: they are never packed.
bool IsOwnOutput(const Walk& walk, const std::string& path, const std::string& name, bool inOutputDirectory) {
    if (!inOutputDirectory) return false;
    const std::string folded = script::UpperCaseName(name);
    return std::find(walk.outputNames.begin(), walk.outputNames.end(), folded) != walk.outputNames.end() ||
           platform::SameFileUtf8(path, walk.outputPath);
}

// Walks one directory: `absolute` and `shown` name it as the file system
// does (UTF-8), `relative` in the code page.
void WalkDirectory(Walk& walk, const std::string& absolute, const std::string& shown, const std::string& relative) {
    const std::string prefix = shown.empty() ? "" : shown + "\\";
    Entries entries;
    if (!ListEntries(walk, absolute, prefix, entries)) {
        walk.problems.push_back("cannot list directory " + (shown.empty() ? absolute : shown));
        return;
    }
    PackedDirectory directory{relative, shown, {}};
    const bool inOutputDirectory = platform::SameFileUtf8(absolute, walk.outputDirectory);
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
        walk.problems.push_back(shown + ": the [DIR] " + LongLine);
    CheckLetterCase(walk, prefix, entries);
    for (const Entry& entry : entries.files) {
        const std::string path = absolute + "\\" + entry.source;
        const std::string& name = entry.name;
        if (IsOwnOutput(walk, path, entry.source, inOutputDirectory)) {
            walk.leftOut.push_back(prefix + entry.source + ": it is kdpack's own output");
            continue;
        }
        if (!walk.keyPath.empty() && platform::SameFileUtf8(path, walk.keyPath)) {
            walk.problems.push_back(prefix + entry.source + ": the private key of --sign; keep it out of the tree");
            continue;
        }
        if (name.empty()) continue;  // its name is already a problem
        if (script::IsSkippedFile(name)) {
            walk.leftOut.push_back(prefix + entry.source + ": the installer never writes it");
            continue;
        }
        const std::string problem = util::NameProblem(name);
        if (!problem.empty()) {
            walk.problems.push_back(prefix + entry.source + ": " + problem);
            continue;
        }
        if (NameLineTooLong(name.size())) {
            walk.problems.push_back(prefix + entry.source + ": the name " + LongLine);
            continue;
        }
        platform::Stream stream = platform::OpenForReadUtf8(path);
        const std::int64_t size = util::StreamSize(stream.get());
        if (size < 0) {
            walk.problems.push_back(prefix + entry.source + ": cannot be read");
            continue;
        }
        bool text = false;
        for (const std::string& pattern : walk.patterns) text = text || util::WildcardMatch(pattern, name);
        directory.files.push_back({name, entry.source, static_cast<std::uint64_t>(size), text});
        walk.fileBytes += static_cast<std::uint64_t>(size);
        ++walk.fileCount;
    }
    // The conversion of a text file writes its copy under a name beside it,
    // and the window package its script copy at the top: a file of that name
    // would be lost.
    for (const PackedFile& file : directory.files) {
        if (relative.empty() && script::LostToWindowPackage("", file.name))
            walk.problems.push_back(file.source + ": installed by the core package, the file would be lost: the window "
                                                  "package writes its copy of the script under that name and removes it");
        const std::u32string copy = walk.codePage.Case().Fold(script::ConversionCopy(file.name));
        for (const PackedFile& other : directory.files) {
            if (file.text && walk.codePage.Case().Fold(other.name) == copy)
                walk.problems.push_back(prefix + other.source + ": the file would be lost: the conversion of " +
                                        prefix + file.source +
                                        " (--text) writes its converted copy under that name and removes it");
        }
    }
    walk.directories.push_back(std::move(directory));
    for (const Entry& entry : entries.subdirectories) {
        const std::string problem = entry.name.empty() ? "" : util::NameProblem(entry.name);
        if (!problem.empty()) {
            walk.problems.push_back(prefix + entry.source + "\\: " + problem);
            continue;
        }
        // Below a name the code page cannot hold, every name is still judged.
        WalkDirectory(walk, absolute + "\\" + entry.source, prefix + entry.source,
                      entry.name.empty() ? relative : (relative.empty() ? "" : relative + "\\") + entry.name);
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
        const std::string base = directory.source.empty() ? source : source + "\\" + directory.source;
        for (const PackedFile& file : directory.files) {
            const std::string shown = directory.source.empty() ? file.source : directory.source + "\\" + file.source;
            if (!putText(script::FileSection(file.name, file.size))) return "cannot write the script";
            platform::Stream input = platform::OpenForReadUtf8(base + "\\" + file.source);
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
    std::vector<std::string> keyPaths, codePages, patterns, excludes;
    const int understood = ParseArguments(io, PackHelp, args,
                                          {{"--text", "--text needs a pattern", &patterns},
                                           {"--sign", "--sign needs a private key", &keyPaths},
                                           {"--code-page", "--code-page needs a number", &codePages},
                                           {"--exclude", "--exclude needs a pattern", &excludes}},
                                          positional);
    if (understood >= 0) return understood;
    if (!ReadCodePage(io, PackHelp, codePages, walk.codePage)) return KdpackUsage;
    for (std::string pattern : excludes) {
        util::SlashesToBackslashes(pattern);
        walk.excludes.push_back(platform::ArgumentToUtf8(pattern));
    }
    // Patterns match names as the script writes them.
    for (const std::string& pattern : patterns) {
        walk.patterns.emplace_back();
        const std::string problem = walk.codePage.Convert(platform::ArgumentToUtf8(pattern), walk.patterns.back());
        if (!problem.empty()) return Usage(io, PackHelp, ("--text " + pattern + ": " + problem).c_str());
    }
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

    walk.outputPath = platform::ArgumentToUtf8(target);
    walk.keyPath = platform::ArgumentToUtf8(keyPath);
    walk.outputDirectory = ParentOf(walk.outputPath);
    for (const char* suffix : {"", OutputSuffix, BodySuffix})
        walk.outputNames.push_back(script::UpperCaseName(BaseName(walk.outputPath) + suffix));
    const std::string sourceUtf8 = platform::ArgumentToUtf8(source);
    WalkDirectory(walk, sourceUtf8, "", "");
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
    const std::string error = WriteBody(sourceUtf8, walk, body.Stream(), bodyHash, bodySize, reading);
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
    const std::string excluded =
        walk.excluded == 0 ? "" : ", " + std::to_string(walk.excluded) + " left out by --exclude";
    std::fprintf(io.out, "%s: %zu directories, %zu files (%llu bytes)%s; script %llu bytes, package %llu bytes (%.3f)\n",
                 target.c_str(), walk.directorySections, walk.fileCount,
                 static_cast<unsigned long long>(walk.fileBytes), excluded.c_str(),
                 static_cast<unsigned long long>(compressed.textBytes),
                 static_cast<unsigned long long>(compressed.packageBytes),
                 static_cast<double>(compressed.packageBytes) / static_cast<double>(compressed.textBytes));
    std::fprintf(io.out, "sha256 %s  %s\n", compressed.packageDigest.c_str(), target.c_str());
    return KdpackOk;
}

}  // namespace kd::kdpack
