// kdpack's commands: pack, compress, decompress, list and verify.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "platform/platform.h"
#include "tools/kdpack/kdpack.h"
#include "tools/kdpack/script_check.h"
#include "tools/kdpack/sha256.h"
#include "util/files.h"
#include "util/names.h"
#include "util/temporary_file.h"
#include "util/strings.h"

namespace kd {

namespace {

constexpr std::uint64_t ProgressThreshold = 4u << 20;
constexpr std::size_t CopyBlock = 1 << 16;
constexpr char Header[] = "KELDO PACKAGE FILE\n";
constexpr std::uint64_t ScriptLimit = 0x7FFFFFFFu;  // the installer's largest script

const char MainHelp[] =
    "usage: kdpack COMMAND ARGUMENTS...\n"
    "\n"
    "Makes, inspects and verifies kdinstall package files.\n"
    "\n"
    "commands:\n"
    "  pack SOURCE_DIR OUT.pkg [--text PATTERN]...  package a directory tree\n"
    "  compress SCRIPT OUT.pkg                      compress a script as it is\n"
    "  decompress PKG OUT                           write the script of a package\n"
    "  list PKG                                     one line per command, then totals\n"
    "  verify PKG [--destination-length N]          check what the installer will meet\n"
    "\n"
    "kdpack COMMAND --help describes one command. Exit status: 0 success,\n"
    "1 failure (or problems found by verify), 2 a command line not understood.\n";

const char PackHelp[] =
    "usage: kdpack pack SOURCE_DIR OUT.pkg [--text PATTERN]...\n"
    "\n"
    "Writes a package that recreates SOURCE_DIR below the installation\n"
    "destination: a [DIR] for every directory, a [FILE] for every file, and a\n"
    "[TEXTFILE] after every file whose name matches a --text wildcard (* and ?,\n"
    "letter case ignored), which the installer converts to CR LF line ends.\n"
    "Entries are sorted, so the same tree always gives the same package. Files\n"
    "named Thumbs.db are left out. Names a script cannot carry (tabs, line ends,\n"
    "two blanks in a row, blanks at either end, characters Windows refuses, lines\n"
    "over 2046 bytes, names of one directory differing only in letter case) are\n"
    "refused. Line 2 of the script holds a SHA-256 digest of everything after it;\n"
    "the SHA-256 of the package file is printed at the end.\n";

const char CompressHelp[] =
    "usage: kdpack compress SCRIPT OUT.pkg\n"
    "\n"
    "Compresses SCRIPT byte for byte into a package container; nothing is added\n"
    "or checked. Use it for hand-written scripts, then kdpack verify.\n";

const char DecompressHelp[] =
    "usage: kdpack decompress PKG OUT\n"
    "\n"
    "Writes the script inside PKG to OUT. A truncated or damaged container is an\n"
    "error and leaves no OUT behind.\n";

const char ListHelp[] =
    "usage: kdpack list PKG\n"
    "\n"
    "Prints one line per command of the package's script (command, name, and\n"
    "size for files), then the totals.\n";

const char VerifyHelp[] =
    "usage: kdpack verify PKG [--destination-length N]\n"
    "\n"
    "Checks the container is complete; the header and line 2; every section's\n"
    "parameter lines; that every file's data lies within the script; that no\n"
    "name is absolute or holds '..', and every level of a name is one Windows\n"
    "creates as written; that no file or directory differs only in letter case\n"
    "from an earlier one; that no line passes 2046 bytes; and that the longest\n"
    "path the package creates fits Windows' limits below a destination\n"
    "directory of N characters (default 40). A digest written by kdpack pack on\n"
    "line 2 is checked; a package without one is unsigned, which is not a\n"
    "problem. Prints each problem with its line number; exit status 0\n"
    "when the package is sound, 1 otherwise.\n";

struct Io {
    std::FILE* out;
    std::FILE* err;
    bool terminal;
};

void Fail(Io& io, const char* format, ...) {
    std::fputs("kdpack: ", io.err);
    va_list args;
    va_start(args, format);
    std::vfprintf(io.err, format, args);
    va_end(args);
    std::fputc('\n', io.err);
}

int Usage(Io& io, const char* help, const char* problem) {
    Fail(io, "%s", problem);
    std::fputs(help, io.err);
    return KdpackUsage;
}

// Gives a finished temporary file its final name, replacing an older file in
// one step; says so on failure.
bool Rename(Io& io, TemporaryFile& from, const std::string& to) {
    if (platform::RenameReplacing(from.Path(), to.c_str()) != platform::Error::None) {
        Fail(io, "cannot rename %s to %s", from.Path(), to.c_str());
        return false;
    }
    from.Keep();
    return true;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* DecodeMeaning(int result) {
    switch (result) {
    case DecodeCannotOpen: return "it cannot be opened, or the output cannot be created";
    case DecodeNoHeader: return "it is shorter than the 4-byte length field";
    case DecodeZeroLength: return "its declared length is 0";
    case DecodeWriteFailed: return "the output cannot be written";
    case DecodeTruncated: return "the container is truncated: the stream ends before the declared length";
    default: return "unknown decoder result";
    }
}

// A percentage on standard error, for long runs on a terminal only.
class Progress {
public:
    Progress(Io& io, const char* what, std::uint64_t total)
        : io(io), what(what), total(total), active(io.terminal && total > ProgressThreshold) {}
    ~Progress() {
        // Blank the line again; plain spaces work on every console.
        if (active && shown >= 0) std::fprintf(io.err, "\r%*s\r", 24, "");
    }
    void Show(std::uint64_t done) {
        if (!active) return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == shown) return;
        shown = percent;
        std::fprintf(io.err, "\r%s %d%%", what, percent);
        std::fflush(io.err);
    }

private:
    Io& io;
    const char* what;
    std::uint64_t total;
    bool active;
    int shown = -1;
};

// Compresses `prefix` and then `bodySize` bytes of `body` into `output`,
// hashing the container bytes. Returns an error text, empty on success.
std::string Compress(Io& io, const std::string& prefix, std::FILE* body, std::uint64_t bodySize,
                     std::FILE* output, Sha256& packageHash, std::uint64_t& packedSize) {
    PackageEncoder encoder;
    const std::uint64_t total = prefix.size() + bodySize;
    if (total == 0) return "nothing to compress: the input is empty";
    if (!encoder.Begin(total)) return "the input is larger than 2 GiB";
    packedSize = 0;
    auto drain = [&] {
        std::string& bytes = encoder.Output();
        packageHash.Update(bytes.data(), bytes.size());
        packedSize += bytes.size();
        const bool ok = platform::WriteBytes(output, bytes.data(), bytes.size()) == bytes.size();
        bytes.clear();
        return ok;
    };
    Progress progress(io, "compressing", total);
    encoder.Write(prefix.data(), prefix.size());
    std::vector<char> block(CopyBlock);
    std::uint64_t done = prefix.size();
    for (std::uint64_t left = bodySize; left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        if (std::fread(block.data(), 1, want, body) != want) return "the input could not be read to its end";
        encoder.Write(block.data(), want);
        left -= want;
        done += want;
        progress.Show(done);
        if (encoder.Output().size() >= block.size() && !drain()) return "the package cannot be written";
    }
    if (std::fgetc(body) != EOF) return "the input grew while it was read";
    encoder.Finish();
    if (!drain() || std::fflush(output) != 0) return "the package cannot be written";
    return {};
}

// ---- pack ---------------------------------------------------------------------

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
    std::vector<PackedDirectory> directories;  // in script order
    std::vector<std::string> problems;
    std::vector<std::string> leftOut;
    std::uint64_t fileBytes = 0;
    std::size_t fileCount = 0;
};

// The names of a directory's files and subdirectories, each sorted byte-wise.
bool ListEntries(const std::string& directory, std::vector<std::string>& files,
                 std::vector<std::string>& subdirectories) {
    platform::FindHandle search;
    platform::FindEntry entry;
    const std::string pattern = directory + "\\*";
    if (!search.First(pattern.c_str(), entry)) return false;
    do {
        if (entry.name == "." || entry.name == "..") continue;
        (entry.isDirectory ? subdirectories : files).push_back(entry.name);
    } while (search.Next(entry));
    std::sort(files.begin(), files.end());
    std::sort(subdirectories.begin(), subdirectories.end());
    return true;
}

// Windows ignores letter case in names: two entries of one directory that
// differ only in it would land on one file.
void CheckLetterCase(Walk& walk, const std::string& prefix, const std::vector<std::string>& files,
                     const std::vector<std::string>& subdirectories) {
    std::vector<std::pair<std::string, std::string>> entries;  // folded, as shown
    for (const std::string& name : files) entries.push_back({name, prefix + name});
    for (const std::string& name : subdirectories) entries.push_back({name, prefix + name + "\\"});
    for (auto& entry : entries) MakeLower(entry.first);
    std::erase_if(entries, [](const auto& entry) { return entry.first == "thumbs.db"; });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].first == entries[i - 1].first)
            walk.problems.push_back(entries[i - 1].second + " and " + entries[i].second +
                                    ": the names differ only in letter case, which Windows ignores");
    }
}

void WalkDirectory(Walk& walk, const std::string& absolute, const std::string& relative) {
    std::vector<std::string> files, subdirectories;
    if (!ListEntries(absolute, files, subdirectories)) {
        walk.problems.push_back("cannot list directory " + (relative.empty() ? absolute : relative));
        return;
    }
    PackedDirectory directory{relative, {}};
    const std::string prefix = relative.empty() ? "" : relative + "\\";
    if (!relative.empty() && 7 + relative.size() + 1 > ScriptLinePiece)
        walk.problems.push_back(relative + ": the [DIR] line would be longer than 2046 bytes");
    CheckLetterCase(walk, prefix, files, subdirectories);
    for (const std::string& name : files) {
        std::string lower = name;
        MakeLower(lower);
        if (lower == "thumbs.db") {
            walk.leftOut.push_back(prefix + name);
            continue;
        }
        const std::string problem = NameProblem(name);
        if (!problem.empty()) {
            walk.problems.push_back(prefix + name + ": " + problem);
            continue;
        }
        if (7 + name.size() + 1 > ScriptLinePiece) {
            walk.problems.push_back(prefix + name + ": the name line would be longer than 2046 bytes");
            continue;
        }
        const std::string path = absolute + "\\" + name;
        Stream stream = OpenFileShared(path.c_str(), "rb");
        const std::int64_t size = StreamSize(stream.get());
        if (size < 0) {
            walk.problems.push_back(prefix + name + ": cannot be read");
            continue;
        }
        bool text = false;
        for (const std::string& pattern : walk.patterns) text = text || WildcardMatch(pattern, name);
        directory.files.push_back({name, static_cast<std::uint64_t>(size), text});
        walk.fileBytes += static_cast<std::uint64_t>(size);
        ++walk.fileCount;
    }
    walk.directories.push_back(std::move(directory));
    for (const std::string& name : subdirectories) {
        const std::string problem = NameProblem(name);
        if (!problem.empty()) {
            walk.problems.push_back(prefix + name + "\\: " + problem);
            continue;
        }
        WalkDirectory(walk, absolute + "\\" + name, prefix + name);
    }
}

// Writes the commands of the walked tree to `body`, hashing what it writes.
std::string WriteBody(const std::string& source, const Walk& walk, std::FILE* body, Sha256& hash,
                      std::uint64_t& bodySize) {
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
        if (!putText("[DIR]\nName = " + directory.relative + "\n")) return "cannot write the script";
        const std::string base = directory.relative.empty() ? source : source + "\\" + directory.relative;
        for (const PackedFile& file : directory.files) {
            const std::string shown =
                directory.relative.empty() ? file.name : directory.relative + "\\" + file.name;
            if (!putText("[FILE]\nName = " + file.name + "\nSize = " + std::to_string(file.size) + "\n"))
                return "cannot write the script";
            Stream input = OpenFileShared((base + "\\" + file.name).c_str(), "rb");
            if (!input) return shown + ": cannot be read";
            for (std::uint64_t left = file.size; left > 0;) {
                const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
                if (std::fread(block.data(), 1, want, input.get()) != want)
                    return shown + ": shrank while it was packed";
                if (!put(block.data(), want)) return "cannot write the script";
                left -= want;
            }
            if (std::fgetc(input.get()) != EOF) return shown + ": grew while it was packed";
            // A line end after the data keeps the script readable; the
            // installer skips the empty line it makes.
            if (!putText("\n")) return "cannot write the script";
            if (file.text && !putText("[TEXTFILE]\nName = " + file.name + "\n"))
                return "cannot write the script";
        }
    }
    if (std::fflush(body) != 0) return "cannot write the script";
    return {};
}

int Pack(Io& io, const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    Walk walk;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--text") {
            if (i + 1 >= args.size()) return Usage(io, PackHelp, "--text needs a pattern");
            walk.patterns.push_back(args[++i]);
        } else if (args[i].compare(0, 7, "--text=") == 0) {
            walk.patterns.push_back(args[i].substr(7));
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return Usage(io, PackHelp, ("unknown option " + args[i]).c_str());
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) return Usage(io, PackHelp, "pack needs SOURCE_DIR and OUT.pkg");
    std::string source = positional[0];
    const std::string& target = positional[1];
    RemoveTrailingSeparator(source);
    if (source.empty()) source = positional[0];
    if (!PathExists(source.c_str()) || FileExists(source.c_str())) {
        Fail(io, "%s is not a directory", positional[0].c_str());
        return KdpackFailed;
    }

    WalkDirectory(walk, source, "");
    for (const std::string& name : walk.leftOut)
        std::fprintf(io.err, "kdpack: leaving out %s: the installer never writes it\n", name.c_str());
    if (!walk.problems.empty()) {
        for (const std::string& problem : walk.problems) Fail(io, "cannot pack %s", problem.c_str());
        return KdpackFailed;
    }

    // The files alone can already pass the limit: refuse before copying them.
    if (walk.fileBytes > ScriptLimit) {
        Fail(io, "the files hold %llu bytes; the installer reads scripts below 2 GiB only",
             static_cast<unsigned long long>(walk.fileBytes));
        return KdpackFailed;
    }
    TemporaryFile bodyFile(target + ".kdpack-body");
    Sha256 bodyHash;
    std::uint64_t bodySize = 0;
    {
        Stream body = OpenFileShared(bodyFile.Path(), "wb");
        if (!body) {
            Fail(io, "cannot create %s", bodyFile.Path());
            return KdpackFailed;
        }
        const std::string error = WriteBody(source, walk, body.get(), bodyHash, bodySize);
        if (!error.empty()) {
            Fail(io, "%s", error.c_str());
            return KdpackFailed;
        }
        if (platform::CloseStream(std::move(body)) != 0) {
            Fail(io, "cannot write %s", bodyFile.Path());
            return KdpackFailed;
        }
    }
    const std::string prefix = Header + std::string(DigestTag) + bodyHash.HexDigest() + "\n";
    if (prefix.size() + bodySize > ScriptLimit) {
        Fail(io, "the script would have %llu bytes; the installer reads scripts below 2 GiB only",
             static_cast<unsigned long long>(prefix.size() + bodySize));
        return KdpackFailed;
    }

    TemporaryFile packageFile(target + ".kdpack-tmp");
    Sha256 packageHash;
    std::uint64_t packedSize = 0;
    {
        Stream body = OpenFileShared(bodyFile.Path(), "rb");
        Stream package = OpenFileShared(packageFile.Path(), "wb");
        if (!body || !package) {
            Fail(io, "cannot create %s", packageFile.Path());
            return KdpackFailed;
        }
        const std::string error =
            Compress(io, prefix, body.get(), bodySize, package.get(), packageHash, packedSize);
        if (!error.empty()) {
            Fail(io, "%s", error.c_str());
            return KdpackFailed;
        }
        if (platform::CloseStream(std::move(package)) != 0) {
            Fail(io, "cannot write %s", packageFile.Path());
            return KdpackFailed;
        }
    }
    if (!Rename(io, packageFile, target)) return KdpackFailed;
    const std::uint64_t scriptSize = prefix.size() + bodySize;
    std::fprintf(io.out, "%s: %zu directories, %zu files (%llu bytes); script %llu bytes, package %llu bytes (%.3f)\n",
                 target.c_str(), walk.directories.size() - 1, walk.fileCount,
                 static_cast<unsigned long long>(walk.fileBytes), static_cast<unsigned long long>(scriptSize),
                 static_cast<unsigned long long>(packedSize),
                 static_cast<double>(packedSize) / static_cast<double>(scriptSize));
    std::fprintf(io.out, "sha256 %s  %s\n", packageHash.HexDigest().c_str(), target.c_str());
    return KdpackOk;
}

// ---- compress, decompress ---------------------------------------------------------

int CompressCommand(Io& io, const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage(io, CompressHelp, "compress needs SCRIPT and OUT.pkg");
    Stream input = OpenFileShared(args[0].c_str(), "rb");
    const std::int64_t size = StreamSize(input.get());
    if (size < 0) {
        Fail(io, "cannot read %s", args[0].c_str());
        return KdpackFailed;
    }
    TemporaryFile packageFile(args[1] + ".kdpack-tmp");
    Sha256 packageHash;
    std::uint64_t packedSize = 0;
    {
        Stream package = OpenFileShared(packageFile.Path(), "wb");
        if (!package) {
            Fail(io, "cannot create %s", packageFile.Path());
            return KdpackFailed;
        }
        const std::string error = Compress(io, "", input.get(), static_cast<std::uint64_t>(size),
                                           package.get(), packageHash, packedSize);
        if (!error.empty()) {
            Fail(io, "%s: %s", args[0].c_str(), error.c_str());
            return KdpackFailed;
        }
        if (platform::CloseStream(std::move(package)) != 0) {
            Fail(io, "cannot write %s", packageFile.Path());
            return KdpackFailed;
        }
    }
    if (!Rename(io, packageFile, args[1])) return KdpackFailed;
    std::fprintf(io.out, "%s: %lld bytes -> %llu bytes (%.3f)\n", args[1].c_str(),
                 static_cast<long long>(size), static_cast<unsigned long long>(packedSize),
                 static_cast<double>(packedSize) / static_cast<double>(size));
    std::fprintf(io.out, "sha256 %s  %s\n", packageHash.HexDigest().c_str(), args[1].c_str());
    return KdpackOk;
}

int DecompressCommand(Io& io, const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage(io, DecompressHelp, "decompress needs PKG and OUT");
    TemporaryFile outputFile(args[1] + ".kdpack-tmp");
    PackageDecoder decoder;
    const int result = decoder.Decode(args[0].c_str(), outputFile.Path(), 0);
    if (result != DecodeOk) {
        Fail(io, "cannot decompress %s: %s (result %d)", args[0].c_str(), DecodeMeaning(result), result);
        return KdpackFailed;
    }
    if (!Rename(io, outputFile, args[1])) return KdpackFailed;
    return KdpackOk;
}

// ---- list, verify -------------------------------------------------------------------

// Decodes the package straight into the script check. The container's own
// faults become problems of line 0.
int ReadPackage(Io& io, const std::string& path, ScriptCheck& check) {
    Stream input = OpenFileShared(path.c_str(), "rb");
    if (!input) {
        Fail(io, "cannot open %s", path.c_str());
        return -1;
    }
    PackageDecoder decoder;
    const int result = decoder.Decode(input.get(), check, 0);
    if (result != DecodeOk) {
        check.problems.push_back({0, std::string("cannot decompress: ") + DecodeMeaning(result)});
    } else if (decoder.OutputCount() > decoder.DeclaredLength()) {
        check.problems.push_back(
            {0, "the stream decodes " + std::to_string(decoder.OutputCount() - decoder.DeclaredLength()) +
                    " bytes past its declared length; the installer would take them into the script"});
    }
    // After a failed decode the last line is a fragment: only a whole script is finished.
    if (result == DecodeOk) check.Finish();
    return result;
}

int ListCommand(Io& io, const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage(io, ListHelp, "list needs PKG");
    ScriptCheck check(40, BaseName(args[0]));
    const int result = ReadPackage(io, args[0], check);
    if (result < 0) return KdpackFailed;
    if (result != DecodeOk && result != DecodeTruncated) {
        Fail(io, "cannot decompress %s: %s (result %d)", args[0].c_str(), DecodeMeaning(result), result);
        return KdpackFailed;
    }
    std::size_t files = 0, directories = 0, texts = 0;
    for (const ScriptCommand& command : check.commands) {
        if (command.command == "FILE") {
            ++files;
            std::fprintf(io.out, "%-10s %s %lld\n", command.command.c_str(), command.name.c_str(),
                         static_cast<long long>(command.size));
        } else {
            directories += command.command == "DIR";
            texts += command.command == "TEXTFILE" || command.command == "TEXTDIR";
            std::fprintf(io.out, "%-10s %s\n", command.command.c_str(), command.name.c_str());
        }
    }
    std::fprintf(io.out, "%zu commands: %zu directories, %zu files (%llu bytes), %zu text conversions; script %llu bytes\n",
                 check.commands.size(), directories, files, static_cast<unsigned long long>(check.fileBytes),
                 texts, static_cast<unsigned long long>(check.scriptBytes));
    if (!check.problems.empty())
        Fail(io, "%zu problem%s; kdpack verify %s shows them", check.problems.size(),
             check.problems.size() == 1 ? "" : "s", args[0].c_str());
    return result == DecodeOk ? KdpackOk : KdpackFailed;
}

int VerifyCommand(Io& io, const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    long destination = 40;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--destination-length") {
            if (i + 1 >= args.size()) return Usage(io, VerifyHelp, "--destination-length needs a number");
            value = args[++i];
        } else if (args[i].compare(0, 21, "--destination-length=") == 0) {
            value = args[i].substr(21);
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return Usage(io, VerifyHelp, ("unknown option " + args[i]).c_str());
        } else {
            positional.push_back(args[i]);
            continue;
        }
        char* end = nullptr;
        destination = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || destination < 3 || destination > 250)
            return Usage(io, VerifyHelp, "--destination-length takes a number from 3 to 250");
    }
    if (positional.size() != 1) return Usage(io, VerifyHelp, "verify needs PKG");
    const std::string& path = positional[0];
    ScriptCheck check(static_cast<std::size_t>(destination), BaseName(path));
    const int result = ReadPackage(io, path, check);
    if (result < 0) return KdpackFailed;

    std::stable_sort(check.problems.begin(), check.problems.end(),
                     [](const ScriptProblem& a, const ScriptProblem& b) { return a.line < b.line; });
    for (const ScriptProblem& problem : check.problems) {
        if (problem.line == 0)
            std::fprintf(io.out, "%s: %s\n", path.c_str(), problem.message.c_str());
        else
            std::fprintf(io.out, "%s:%llu: %s\n", path.c_str(), static_cast<unsigned long long>(problem.line),
                         problem.message.c_str());
    }
    if (check.digest == ScriptCheck::Digest::None && result == DecodeOk && check.HasLineTwo())
        std::fprintf(io.out, "%s: unsigned: line 2 holds no kdpack digest\n", path.c_str());
    else if (check.digest == ScriptCheck::Digest::Matches)
        std::fprintf(io.out, "%s: digest matches\n", path.c_str());
    if (!check.problems.empty()) {
        std::fprintf(io.out, "%s: %zu problem%s\n", path.c_str(), check.problems.size(),
                     check.problems.size() == 1 ? "" : "s");
        return KdpackFailed;
    }
    std::size_t files = 0;
    for (const ScriptCommand& command : check.commands) files += command.command == "FILE";
    std::fprintf(io.out, "%s: sound: %zu commands, %zu files (%llu bytes); longest path %zu characters below a destination of %ld\n",
                 path.c_str(), check.commands.size(), files, static_cast<unsigned long long>(check.fileBytes),
                 check.longestPath, destination);
    return KdpackOk;
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    std::size_t p = 0, n = 0, starAt = std::string::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string NameProblem(const std::string& name) {
    if (name.empty()) return "empty name";
    if (name.front() == ' ' || name.back() == ' ') return "a blank at the start or end of the name";
    if (name.find("  ") != std::string::npos) return "two blanks in a row";
    for (unsigned char c : name) {
        if (c == '\t') return "a tab in the name";
        if (c == '\n' || c == '\r') return "a line end in the name";
        if (c < 0x20 || c == 0x7F) return "a control character in the name";
        if (c == '\\') return "a backslash, which the installer reads as a directory separator";
        if (std::strchr("<>:\"|?*", c)) return std::string("the character ") + static_cast<char>(c) +
                                                   ", which Windows file names cannot hold";
    }
    if (name.back() == '.') return "a dot at the end, which Windows drops";
    if (NamesDevice(name)) return "a Windows device name";
    return {};
}

int RunKdpack(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    Io io{out, err, platform::IsTerminal(err)};
    if (argc < 2) return Usage(io, MainHelp, "no command given");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    struct Entry {
        const char* name;
        int (*run)(Io&, const std::vector<std::string>&);
        const char* help;
    };
    static constexpr Entry commands[] = {
        {"pack", Pack, PackHelp},
        {"compress", CompressCommand, CompressHelp},
        {"decompress", DecompressCommand, DecompressHelp},
        {"list", ListCommand, ListHelp},
        {"verify", VerifyCommand, VerifyHelp},
    };
    const auto wantsHelp = [](const std::string& arg) { return arg == "--help" || arg == "-h"; };
    const Entry* found = nullptr;
    for (const Entry& entry : commands) {
        if (command == entry.name) found = &entry;
    }
    int result;
    if (wantsHelp(command) || command == "help") {
        std::fputs(MainHelp, out);
        result = KdpackOk;
    } else if (!found) {
        result = Usage(io, MainHelp, ("unknown command " + command).c_str());
    } else if (std::any_of(args.begin(), args.end(), wantsHelp)) {
        std::fputs(found->help, out);  // every command takes --help anywhere
        result = KdpackOk;
    } else {
        result = found->run(io, args);
    }
    std::fflush(out);
    std::fflush(err);
    return result;
}

}  // namespace kd
