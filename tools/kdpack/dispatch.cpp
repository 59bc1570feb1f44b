// kdpack's help texts and its command line: which command runs, and --help
// for every command.
#include <algorithm>
#include <string>

#include "kd_version.h"
#include "script/format.h"

#include "tools/kdpack/commands.h"
#include "tools/kdpack/kdpack.h"
#include "tools/kdpack/script_check.h"

namespace kd::kdpack {

namespace {

const std::string LinePieceText = std::to_string(script::LinePiece);

const std::string MainHelp =
    "usage: kdpack COMMAND ARGUMENTS...\n"
    "\n"
    "Makes, inspects and verifies kdinstall package files.\n"
    "\n"
    "commands:\n"
    "  pack SOURCE_DIR OUT.pkg [--text PATTERN]... [--exclude PATTERN]...\n"
    "       [--code-page N] [--sign PRIVATE.pem]    package a directory tree\n"
    "  compress SCRIPT OUT.pkg                      compress a script as it is\n"
    "  decompress PKG OUT                           write the script of a package\n"
    "  list PKG [--code-page N]                     one line per command, then totals\n"
    "  verify PKG [--as core|window] [--destination-length N] [--key PUBLIC.pem]...\n"
    "             [--code-page N]                   check what the installer will meet\n"
    "  key new PRIVATE.pem PUBLIC.pem               make a signing key pair\n"
    "  sign PKG PRIVATE.pem [--output OUT.pkg]      sign a package\n"
    "\n"
    "kdpack COMMAND --help describes one command; kdpack --version prints the\n"
    "version. Exit status: 0 success, 1 failure (or problems found by verify),\n"
    "2 a command line not understood, 130 stopped by an interrupt (its temporary\n"
    "files removed). On a terminal, long steps show their progress on standard\n"
    "error.\n";

}  // namespace

const std::string PackHelp =
    "usage: kdpack pack SOURCE_DIR OUT.pkg [--text PATTERN]... [--exclude PATTERN]...\n"
    "                                      [--code-page N] [--sign PRIVATE.pem]\n"
    "\n"
    "Writes a package that recreates SOURCE_DIR below the installation\n"
    "destination: a [DIR] for every directory, a [FILE] for every file, and a\n"
    "[TEXTFILE] after every file whose name matches a --text wildcard (* and ?,\n"
    "letter case ignored), which the installer converts to CR LF line ends.\n"
    "--exclude (repeatable) leaves out every file or directory whose name, or\n"
    "whose path below SOURCE_DIR, matches its wildcard (.git, '*~', 'doc/tmp').\n"
    "Names are written in Windows code page N (default 1252; 874, 1250, 1251,\n"
    "1252, 1253, 1254, 1256 or 1257), the ANSI code page of the machines the\n"
    "package is for: the installer reads them in theirs. A name the code page\n"
    "cannot hold is refused, naming the character and a code page that holds it.\n"
    "Entries are sorted by those bytes, so the same tree always gives the same\n"
    "package, on Linux and Windows alike. Files named Thumbs.db are left out.\n"
    "Names a script cannot carry (tabs, line ends, two blanks in a row, blanks\n"
    "at either end, characters Windows refuses, lines over " + LinePieceText + " bytes, names of\n"
    "one directory differing only in letter case in the code page) are refused,\n"
    "and so are files the installation would remove again (NAME.kd_temp beside\n"
    "a --text file NAME; keldo_window64.pkg.kd_temp at the top), and symbolic\n"
    "links and junctions: pack never follows one.\n"
    "OUT.pkg and pack's temporary files (OUT.pkg.kdpack-tmp, OUT.pkg.kdpack-body)\n"
    "are left out when they lie in the tree. Line 2 of the script holds a SHA-256\n"
    "digest of everything after it, which the installer checks before it carries\n"
    "out any command; the SHA-256 of the package file is printed at the end.\n"
    "With --sign, line 2 also holds the signature of that digest by the private\n"
    "key (see kdpack sign).\n"
    "OUT.pkg is replaced only by a finished package; an interrupt removes the\n"
    "temporary files.\n";

const std::string CompressHelp =
    "usage: kdpack compress SCRIPT OUT.pkg\n"
    "\n"
    "Compresses SCRIPT byte for byte into a package container; nothing is added\n"
    "or checked. Use it for hand-written scripts, then kdpack verify.\n";

const std::string DecompressHelp =
    "usage: kdpack decompress PKG OUT\n"
    "\n"
    "Writes the script inside PKG to OUT. A truncated or damaged container is an\n"
    "error and leaves no OUT behind.\n";

const std::string ListHelp =
    "usage: kdpack list PKG [--code-page N]\n"
    "\n"
    "Prints one line per command of the package's script as the installer reads\n"
    "it (command, name, and size for files), then the totals. Names are read in\n"
    "code page N (default 1252) and shown as this system shows names.\n";

const std::string VerifyHelp =
    "usage: kdpack verify PKG [--as core|window] [--destination-length N]\n"
    "                         [--key PUBLIC.pem]... [--code-page N]\n"
    "\n"
    "Checks the container is complete; the header and line 2; every section's\n"
    "parameter lines; that every file's data lies within the script; that no\n"
    "name is absolute or holds '..', and every level of a name is one Windows\n"
    "creates as written; that no two names of one directory, files and\n"
    "directories alike, differ only in letter case in code page N (default\n"
    "1252); that every name's bytes are defined there and none reads as UTF-8\n"
    "(a name packed without conversion); that no file the package installs is\n"
    "lost to a text conversion or to the window package's script copy; that no\n"
    "line passes " + LinePieceText + " bytes; and that the longest path the package creates\n"
    "fits Windows' limits below a destination directory of N characters\n"
    "(default " + std::to_string(DefaultDestination) + "). A digest written by kdpack pack on\n"
    "line 2 is checked as the installer checks it; a package without one has\n"
    "no digest, which is not a problem. With --key (repeatable), the signature\n"
    "on line 2 is checked as an installer built with those keys checks it:\n"
    "'signature good (key FINGERPRINT)', 'signature bad' or 'not signed', and\n"
    "the last two are problems. Without --key a signature is reported as\n"
    "'signed, not checked (no --key)'. Prints each problem with its line number,\n"
    "and says when the installer would reject the package; exit status 0 when\n"
    "the package is sound, 1 otherwise. The installer reads a package as\n"
    "keldo_core.pkg (--as core) or keldo_window64.pkg (--as window) and names\n"
    "its copy of the script after it; without --as, a file of one of those names\n"
    "is judged as that one, any other as both, with a rejection per name.\n";

const std::string KeyHelp =
    "usage: kdpack key new PRIVATE.pem PUBLIC.pem\n"
    "\n"
    "Makes a new ECDSA P-256 key pair: the private key in PKCS#8 PEM, created new\n"
    "and readable by its owner only, and the public key (SubjectPublicKeyInfo\n"
    "PEM) to build into kdinstall with -DKD_PACKAGE_KEY. Neither file may exist.\n"
    "Prints the key's fingerprint, the SHA-256 of its DER form.\n";

const std::string SignHelp =
    "usage: kdpack sign PKG PRIVATE.pem [--output OUT.pkg]\n"
    "\n"
    "Signs a package packed by kdpack pack: checks the digest on line 2, writes\n"
    "the ECDSA P-256 signature of that digest after it (replacing an earlier\n"
    "signature) and compresses the package again, into OUT.pkg or in place.\n"
    "The private key is PEM, PKCS#8 or SEC1 as openssl writes them, and not\n"
    "encrypted: kdpack asks for no pass phrase. The target is replaced only by\n"
    "a finished package.\n";

int RunKdpack(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    Io io{out, err, platform::IsTerminal(err), platform::IsTerminal(out)};
    if (argc < 2) return Usage(io, MainHelp, "no command given");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    struct Entry {
        const char* name;
        int (*run)(Io&, const std::vector<std::string>&);
        const std::string* help;
    };
    static constexpr Entry commands[] = {
        {"pack", Pack, &PackHelp},
        {"compress", Compress, &CompressHelp},
        {"decompress", Decompress, &DecompressHelp},
        {"list", List, &ListHelp},
        {"verify", Verify, &VerifyHelp},
        {"key", Key, &KeyHelp},
        {"sign", Sign, &SignHelp},
    };
    const auto wantsHelp = [](const std::string& arg) { return arg == "--help" || arg == "-h"; };
    const Entry* found = nullptr;
    for (const Entry& entry : commands) {
        if (command == entry.name) found = &entry;
    }
    int result;
    if (command == "--version") {
        std::fputs("kdpack " KD_VERSION_TEXT "\n", out);
        result = KdpackOk;
    } else if (wantsHelp(command) || command == "help") {
        std::fputs(MainHelp.c_str(), out);
        result = KdpackOk;
    } else if (!found) {
        result = Usage(io, MainHelp, ("unknown command " + command).c_str());
    } else if (std::any_of(args.begin(), args.end(), wantsHelp)) {
        std::fputs(found->help->c_str(), out);  // every command takes --help anywhere
        result = KdpackOk;
    } else {
        result = found->run(io, args);
    }
    std::fflush(out);
    std::fflush(err);
    return result;
}

}  // namespace kd::kdpack
