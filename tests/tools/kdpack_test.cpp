// kdpack: pack, verify and decompress of a small tree, refusals, the golden
// verdicts on damaged packages, SHA-256 and the name rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "package/package.h"
#include "script/format.h"
#include "script/line2.h"
#include "platform/platform.h"
#include "support/temp_dir.h"
#include "tools/kdpack/kdpack.h"
#include "script/folded_paths.h"
#include "script/rules.h"
#include "tools/kdpack/script_check.h"

namespace kd::kdpack {
namespace {

struct Outcome {
    int exit = -1;
    std::string out, err;
};

// Writes a file, creating the directories above it; names in UTF-8 on Windows too.
bool Put(const std::string& path, const std::string& content) {
    const std::filesystem::path name(std::u8string(path.begin(), path.end()));
    std::error_code ec;
    std::filesystem::create_directories(name.parent_path(), ec);
    std::ofstream file(name, std::ios::binary);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    return !file.fail();
}

// Runs kdpack in-process with its output and errors caught in files.
Outcome Kdpack(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "kdpack");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    Outcome run;
    std::FILE* out = std::fopen((dir / "stdout.txt").c_str(), "wb");
    std::FILE* err = std::fopen((dir / "stderr.txt").c_str(), "wb");
    if (out && err) run.exit = RunKdpack(static_cast<int>(argv.size()), argv.data(), out, err);
    if (out) std::fclose(out);
    if (err) std::fclose(err);
    run.out = test::ReadFile(dir / "stdout.txt");
    run.err = test::ReadFile(dir / "stderr.txt");
    return run;
}

class KdpackTree : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Put(dir / "src/readme.txt", "hello\nworld\n"));
        ASSERT_TRUE(Put(dir / "src/Thumbs.db", "thumbnails"));
        ASSERT_TRUE(Put(dir / "src/docs/en/guide.TXT", "[FILE]\nName = trap\n"));
        ASSERT_TRUE(Put(dir / "src/docs/THUMBS.DB", "more thumbnails"));
        ASSERT_TRUE(Put(dir / "src/bin/tool.exe", std::string("MZ\0\1\2\n\r", 7)));
        ASSERT_TRUE(Put(dir / "src/bin/empty.dat", ""));
        std::filesystem::create_directories(std::filesystem::path(dir / "src/empty"));
    }

    std::string Script(const std::string& package) {
        util::StringSink script;
        EXPECT_EQ(codec::PackageDecoder().Decode(test::ReadFile(package), script, 0), codec::DecodeOk);
        return script.text;
    }

    test::TempDir dir;
};

TEST_F(KdpackTree, PackVerifyDecompress) {
    const Outcome pack = Kdpack(dir, {"pack", dir / "src", dir / "out.pkg", "--text", "*.txt"});
    ASSERT_EQ(pack.exit, 0) << pack.err;
    EXPECT_NE(pack.out.find("sha256 "), std::string::npos);
    EXPECT_NE(pack.err.find("leaving out Thumbs.db"), std::string::npos);
    EXPECT_NE(pack.err.find("leaving out docs\\THUMBS.DB"), std::string::npos);
    EXPECT_FALSE(test::IsFile(dir / "out.pkg.kdpack-tmp"));
    EXPECT_FALSE(test::IsFile(dir / "out.pkg.kdpack-body"));

    const std::string script = Script(dir / "out.pkg");
    const std::string header = "KELDO PACKAGE FILE\nkdpack sha256 ";
    ASSERT_EQ(script.compare(0, header.size(), header), 0);
    const std::string body = script.substr(script.find('\n', header.size()) + 1);
    platform::Sha256 hash;
    hash.Update(body.data(), body.size());
    unsigned char digest[script::DigestSize];
    ASSERT_TRUE(hash.Finish(digest));
    EXPECT_EQ(script.substr(header.size(), 64), script::Hex(digest, sizeof digest));
    EXPECT_EQ(body,
              "[DIR]\nName = \n"
              "[FILE]\nName = readme.txt\nSize = 12\nhello\nworld\n\n[TEXTFILE]\nName = readme.txt\n"
              "[DIR]\nName = bin\n"
              "[FILE]\nName = empty.dat\nSize = 0\n\n" +
                  std::string("[FILE]\nName = tool.exe\nSize = 7\nMZ\0\1\2\n\r\n", 40) +
                  "[DIR]\nName = docs\n"
                  "[DIR]\nName = docs\\en\n"
                  "[FILE]\nName = guide.TXT\nSize = 19\n[FILE]\nName = trap\n\n[TEXTFILE]\nName = guide.TXT\n"
                  "[DIR]\nName = empty\n");

    const Outcome verify = Kdpack(dir, {"verify", dir / "out.pkg"});
    EXPECT_EQ(verify.exit, 0) << verify.out;
    EXPECT_NE(verify.out.find("digest matches"), std::string::npos);
    EXPECT_NE(verify.out.find("sound"), std::string::npos);

    const Outcome list = Kdpack(dir, {"list", dir / "out.pkg"});
    EXPECT_EQ(list.exit, 0);
    EXPECT_NE(list.out.find("FILE       tool.exe 7\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("11 commands: 5 directories, 4 files (38 bytes), 2 text conversions"),
              std::string::npos)
        << list.out;

    const Outcome decompress = Kdpack(dir, {"decompress", dir / "out.pkg", dir / "script.txt"});
    EXPECT_EQ(decompress.exit, 0) << decompress.err;
    EXPECT_EQ(test::ReadFile(dir / "script.txt"), script);

    // The same tree packs to the same bytes.
    ASSERT_EQ(Kdpack(dir, {"pack", dir / "src", dir / "again.pkg", "--text=*.txt"}).exit, 0);
    EXPECT_EQ(test::ReadFile(dir / "again.pkg"), test::ReadFile(dir / "out.pkg"));
}

TEST_F(KdpackTree, CompressKeepsTheScriptByteForByte) {
    const std::string script = "KELDO PACKAGE FILE\r\nby hand\r\n[DIR]\r\nName = a\r\n";
    ASSERT_TRUE(test::WriteFile(dir / "script", script));
    ASSERT_EQ(Kdpack(dir, {"compress", dir / "script", dir / "hand.pkg"}).exit, 0);
    EXPECT_EQ(Script(dir / "hand.pkg"), script);
    const Outcome verify = Kdpack(dir, {"verify", dir / "hand.pkg"});
    EXPECT_EQ(verify.exit, 0) << verify.out;
    EXPECT_NE(verify.out.find("no digest"), std::string::npos);
}

// Keys and signatures. verify --key gives its four verdicts on every build;
// the Windows build cannot sign, and says so without writing anything.
TEST_F(KdpackTree, SignsAndVerifiesSignatures) {
    const std::string keys = KD_TEST_KEYS, signedPackage = KD_SIGNED_PACKAGE, plain = dir / "plain.pkg";
    ASSERT_EQ(Kdpack(dir, {"pack", dir / "src", plain}).exit, 0);
    const auto verify = [&](const std::string& package, const std::vector<std::string>& publicKeys) {
        std::vector<std::string> args = {"verify", package};
        for (const std::string& key : publicKeys) args.insert(args.end(), {"--key", key});
        const Outcome run = Kdpack(dir, args);
        const std::size_t verdict = run.out.find(": ", run.out.find("digest matches\n")) + 2;
        return std::to_string(run.exit) + " " + run.out.substr(verdict, run.out.find('\n', verdict) - verdict);
    };
    const std::string goodA =
        "0 signature good (key " + test::ReadFile(keys + "test-only-a.fingerprint").substr(0, 64) + ")";
    EXPECT_EQ(verify(signedPackage, {keys + "test-only-other.pub", keys + "test-only-a.pub"}), goodA);
    EXPECT_EQ(verify(signedPackage, {keys + "test-only-other.pub"}), "1 signature bad");
    EXPECT_EQ(verify(plain, {keys + "test-only-a.pub"}), "1 not signed");
    EXPECT_EQ(verify(signedPackage, {}), "0 signed, not checked (no --key)");

    const std::vector<std::vector<std::string>> signing = {
        {"key", "new", dir / "new.key", dir / "new.pub"},
        {"sign", plain, keys + "test-only-a.key", "--output", dir / "a.pkg"},
        {"pack", dir / "src", dir / "a.pkg", "--sign", keys + "test-only-a.key"},
    };
    if (test::IsWindowsBuild()) {
        for (const auto& args : signing) {
            const Outcome run = Kdpack(dir, args);
            EXPECT_EQ(run.exit, 1);
            EXPECT_EQ(run.err, "kdpack: signing is not available in this build: use the Linux build or openssl\n");
        }
        EXPECT_FALSE(test::IsFile(dir / "new.key") || test::IsFile(dir / "new.pub") || test::IsFile(dir / "a.pkg"));
        return;
    }
    for (const auto& args : signing) EXPECT_EQ(Kdpack(dir, args).exit, 0) << args[0];
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(dir / "new.key").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(verify(dir / "a.pkg", {keys + "test-only-a.pub"}), goodA);
    // Signed with the new key, then again in place with a SEC1 key.
    ASSERT_EQ(Kdpack(dir, {"sign", plain, dir / "new.key"}).exit, 0);
    EXPECT_EQ(verify(plain, {dir / "new.pub"}).substr(0, 16), "0 signature good");
    ASSERT_EQ(Kdpack(dir, {"sign", plain, keys + "test-only-b.key"}).exit, 0);
    EXPECT_EQ(verify(plain, {dir / "new.pub"}), "1 signature bad");
    EXPECT_EQ(verify(plain, {keys + "test-only-b.pub"}).substr(0, 16), "0 signature good");

    // Refusals leave every file as it was.
    const std::string key = test::ReadFile(dir / "new.key"), signedBytes = test::ReadFile(plain);
    ASSERT_TRUE(Put(dir / "hand.txt", "KELDO PACKAGE FILE\nby hand\n[DIR]\nName = a\n"));
    ASSERT_EQ(Kdpack(dir, {"compress", dir / "hand.txt", dir / "hand.pkg"}).exit, 0);
    const struct {
        std::vector<std::string> args;
        std::string error;
    } refusals[] = {
        {{"key", "new", dir / "new.key", dir / "other.pub"}, " exists: kdpack writes a key only to a new file"},
        {{"sign", dir / "hand.pkg", dir / "new.key"}, " has no kdpack digest: pack it again"},
        {{"sign", plain, keys + "test-only-encrypted.key"}, " is encrypted, and kdpack asks for no pass phrase"},
        {{"sign", plain, dir / "new.pub"}, " holds no P-256 private key in PEM"},
    };
    for (const auto& refusal : refusals) {
        const Outcome run = Kdpack(dir, refusal.args);
        EXPECT_EQ(run.exit, 1);
        EXPECT_NE(run.err.find(refusal.error), std::string::npos) << run.err;
    }
    EXPECT_EQ(test::ReadFile(dir / "new.key"), key);
    EXPECT_FALSE(test::IsFile(dir / "other.pub"));
    EXPECT_EQ(test::ReadFile(plain), signedBytes);
}

TEST_F(KdpackTree, FailuresLeaveNoOutput) {
    ASSERT_TRUE(test::WriteFile(dir / "cut.pkg", std::string("\x40\0\0\0\x12\x34", 6)));
    const Outcome decompress = Kdpack(dir, {"decompress", dir / "cut.pkg", dir / "cut.txt"});
    EXPECT_EQ(decompress.exit, 1);
    EXPECT_NE(decompress.err.find("truncated"), std::string::npos) << decompress.err;
    EXPECT_FALSE(test::IsFile(dir / "cut.txt"));
    EXPECT_FALSE(test::IsFile(dir / "cut.txt.kdpack-tmp"));
    // The number kdpack gives a package it cannot open stays 1.
    const Outcome missing = Kdpack(dir, {"decompress", dir / "none.pkg", dir / "none.txt"});
    EXPECT_NE(missing.err.find("cannot be opened, or the output cannot be created (result 1)"), std::string::npos);

    ASSERT_TRUE(test::WriteFile(dir / "empty", ""));
    EXPECT_EQ(Kdpack(dir, {"compress", dir / "empty", dir / "e.pkg"}).exit, 1);
    EXPECT_FALSE(test::IsFile(dir / "e.pkg"));
    EXPECT_FALSE(test::IsFile(dir / "e.pkg.kdpack-tmp"));

    EXPECT_EQ(Kdpack(dir, {"pack", dir / "missing", dir / "m.pkg"}).exit, 1);
    EXPECT_FALSE(test::IsFile(dir / "m.pkg"));
}

TEST_F(KdpackTree, UsageAndHelp) {
    for (const char* command : {"pack", "compress", "decompress", "list", "verify"}) {
        const Outcome help = Kdpack(dir, {command, "--help"});
        EXPECT_EQ(help.exit, 0) << command;
        EXPECT_NE(help.out.find(std::string("usage: kdpack ") + command), std::string::npos);
        EXPECT_EQ(Kdpack(dir, {command}).exit, 2) << command;
    }
    EXPECT_EQ(Kdpack(dir, {"--help"}).exit, 0);
    const Outcome version = Kdpack(dir, {"--version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("kdpack (untagged( [0-9a-f]{12})?|[0-9]+(\\.[0-9]+){3})\n")))
        << version.out;
    EXPECT_EQ(Kdpack(dir, {}).exit, 2);
    EXPECT_EQ(Kdpack(dir, {"unpack", "x"}).exit, 2);
    EXPECT_EQ(Kdpack(dir, {"verify", "x.pkg", "--destination-length", "abc"}).exit, 2);
}

TEST_F(KdpackTree, DestinationLengthMovesThePathLimit) {
    const std::string deep = "src/" + std::string(100, 'd') + "/" + std::string(100, 'e') + "/f.txt";
    ASSERT_TRUE(Put(dir / deep, "x"));
    ASSERT_EQ(Kdpack(dir, {"pack", dir / "src", dir / "deep.pkg"}).exit, 0);
    EXPECT_EQ(Kdpack(dir, {"verify", dir / "deep.pkg"}).exit, 0);
    const Outcome longer = Kdpack(dir, {"verify", dir / "deep.pkg", "--destination-length", "60"});
    EXPECT_EQ(longer.exit, 1);
    EXPECT_NE(longer.out.find("exceeds the limit of 259"), std::string::npos) << longer.out;
}

// Names the POSIX stand-in can create but a script cannot carry.
TEST_F(KdpackTree, RefusesUnfaithfulNamesNamingThem) {
    if (test::IsWindowsBuild()) GTEST_SKIP() << "Windows cannot create these names";
    ASSERT_TRUE(Put(dir / "src/bin/two  blanks", "x"));
    const Outcome pack = Kdpack(dir, {"pack", dir / "src", dir / "bad.pkg"});
    EXPECT_EQ(pack.exit, 1);
    EXPECT_NE(pack.err.find("cannot pack bin\\two  blanks: two blanks in a row"), std::string::npos)
        << pack.err;
    EXPECT_FALSE(test::IsFile(dir / "bad.pkg"));
}

// Names Windows takes for one: a file pair and a file beside a directory.
TEST_F(KdpackTree, RefusesNamesDifferingOnlyInCase) {
    if (test::IsWindowsBuild()) GTEST_SKIP() << "Windows cannot create these names";
    ASSERT_TRUE(Put(dir / "src/d/A.txt", "x"));
    ASSERT_TRUE(Put(dir / "src/d/a.txt", "y"));
    ASSERT_TRUE(Put(dir / "src/Bin", "z"));
    ASSERT_TRUE(Put(dir / "src/CAF\xc3\x89.txt", "E"));
    ASSERT_TRUE(Put(dir / "src/caf\xc3\xa9.txt", "e"));
    const Outcome pack = Kdpack(dir, {"pack", dir / "src", dir / "case.pkg"});
    EXPECT_EQ(pack.exit, 1);
    EXPECT_NE(pack.err.find("cannot pack d\\A.txt and d\\a.txt: the names differ only in letter case"),
              std::string::npos)
        << pack.err;
    EXPECT_NE(pack.err.find("cannot pack CAF\xc3\x89.txt and caf\xc3\xa9.txt: the names differ only in letter case, which "
                            "Windows ignores (code page 1252 assumed)"),
              std::string::npos)
        << pack.err;
    EXPECT_NE(pack.err.find("cannot pack Bin and bin\\: the names differ only in letter case"),
              std::string::npos)
        << pack.err;
    EXPECT_FALSE(test::IsFile(dir / "case.pkg"));
}

// Names are written in the code page of --code-page, whatever the file
// system holds them in; a name the code page cannot hold is refused, saying
// which code page can.
TEST_F(KdpackTree, WritesNamesInTheCodePage) {
    const std::string cyrillic = "\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb3\xd1\x80\xd0\xb0\xd0\xbc\xd0\xbc\xd1\x8b";  // Программы
    const std::string file = "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.txt";                                        // файл.txt
    const struct {
        std::string path, codePage;
        int exit;
        std::string shown;  // in the script, or in the refusal
    } cases[] = {
        {"Caf\xc3\xa9.txt", "1252", 0, "Name = Caf\xe9.txt\n"},
        {cyrillic + "/" + file, "1252", 1,
         "kdpack: cannot pack " + cyrillic + "\\: \xd0\x9f is not in code page 1252; pack with --code-page 1251 for "
         "machines that use it\nkdpack: cannot pack " + cyrillic + "\\" + file + ": \xd1\x84 is not in code page 1252"},
        {cyrillic + "/" + file, "1251", 0, "Name = \xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xfb\n"},
        {"\xc2\x81.txt", "1252", 1, ": \xc2\x81 is not in code page 1252, nor in any other"},
        {"\xe2\x82\xac.txt", "1257", 0, "Name = \x80.txt\n"},  // the euro sign
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(std::filesystem::path(dir / "tree"));
        ASSERT_TRUE(Put(dir / ("tree/" + c.path), "x\n"));
        const Outcome pack = Kdpack(dir, {"pack", dir / "tree", dir / "names.pkg", "--code-page", c.codePage});
        EXPECT_EQ(pack.exit, c.exit) << c.path << pack.err;
        EXPECT_NE((c.exit == 0 ? Script(dir / "names.pkg") : pack.err).find(c.shown), std::string::npos)
            << c.path << pack.err;
        // The installer writes the name's bytes, which Windows reads in its
        // ANSI code page: under Wine, when that is 1252, Café.txt again.
        if (c.codePage == "1252" && c.exit == 0 && platform::WidenAnsi("\xe9") == u"\u00e9") {
            package::KdPackage installer;
            ASSERT_TRUE(installer.Install(dir / "names.pkg", dir / "dest", false)) << installer.errorText;
            const std::string name = dir / ("dest/" + (test::IsWindowsBuild() ? c.path : std::string("Caf\xe9.txt")));
            EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(std::u8string(name.begin(), name.end()))));
        }
        std::filesystem::remove(std::filesystem::path(dir / "names.pkg"));
    }
    // list shows the names as this system shows names (the last tree).
    ASSERT_EQ(Kdpack(dir, {"pack", dir / "tree", dir / "euro.pkg", "--code-page=1257"}).exit, 0);
    const std::string shown = test::IsWindowsBuild() ? "\x80.txt" : "\xe2\x82\xac.txt";
    EXPECT_NE(Kdpack(dir, {"list", dir / "euro.pkg", "--code-page", "1257"}).out.find("FILE       " + shown),
              std::string::npos);
    const Outcome refused = Kdpack(dir, {"pack", dir / "tree", dir / "x.pkg", "--code-page", "932"});
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("code page 932: a double-byte code page"), std::string::npos) << refused.err;
}

// The letter-case rule and the bytes each code page defines, as the system
// converts them, against one table: both builds must agree with it.
TEST(KdpackCodePages, BothBuildsUpperCaseAlike) {
    std::string table;
    for (const int number : script::CodePages) {
        script::CodePage codePage;
        ASSERT_TRUE(codePage.Load(number)) << number;
        for (int byte = 0x80; byte < 256; ++byte) {
            const std::string name(1, static_cast<char>(byte));
            char line[48];
            const std::u32string upper = codePage.Case().Fold(name);
            std::snprintf(line, sizeof line, "%d %02X %s %06X\n", number, byte,
                          codePage.Defined(static_cast<unsigned char>(byte)) ? "defined" : "undefined",
                          static_cast<unsigned>(upper[0]));
            table += line;
        }
    }
    const std::string golden = std::string(KD_TOOLS_TEST_DATA) + "/code-pages.txt";
    if (std::getenv("KD_WRITE_CODE_PAGES")) test::WriteFile(golden, table);
    EXPECT_EQ(table, test::ReadFile(golden));
    // E with an acute accent is one letter in either case, in both builds.
    script::CodePage latin;
    EXPECT_EQ(script::SameNames(latin.Case(), {"CAF\xc9.txt", "caf\xe9.txt"}, {}).size(), 1u);
}

// --exclude leaves out a name anywhere, or a path below the tree, and the
// summary counts what it left out only when there is something.
TEST_F(KdpackTree, ExcludeLeavesOutNamesAndPaths) {
    const struct {
        std::vector<std::string> excludes;
        std::string counted, gone;
    } cases[] = {
        {{}, "4 files (38 bytes); script", "Thumbs.db"},
        {{"*.EXE"}, "3 files (31 bytes), 1 left out by --exclude; script", "tool.exe"},
        {{"docs/en", "e?pty*"}, "2 files (19 bytes), 3 left out by --exclude; script", "guide.TXT"},
        {{"en"}, "3 files (19 bytes), 1 left out by --exclude; script", "Name = docs\\en"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"pack", dir / "src", dir / "x.pkg"};
        for (const std::string& pattern : c.excludes) args.insert(args.end(), {"--exclude", pattern});
        const Outcome pack = Kdpack(dir, args);
        ASSERT_EQ(pack.exit, 0) << pack.err;
        EXPECT_NE(pack.out.find(c.counted), std::string::npos) << pack.out;
        EXPECT_EQ(Script(dir / "x.pkg").find(c.gone), std::string::npos) << c.gone;
    }
}

// Files the installation would remove again: a converted file's copy, and
// the window package's script copy.
TEST_F(KdpackTree, RefusesFilesTheInstallationWouldLose) {
    ASSERT_TRUE(Put(dir / "src/docs/readme.txt.kd_temp", "x"));
    ASSERT_TRUE(Put(dir / "src/docs/readme.txt", "x"));
    ASSERT_TRUE(Put(dir / "src/keldo_window64.pkg.kd_temp", "x"));
    const Outcome pack = Kdpack(dir, {"pack", dir / "src", dir / "lost.pkg", "--text", "*.txt"});
    EXPECT_EQ(pack.exit, 1);
    EXPECT_NE(pack.err.find("cannot pack docs\\readme.txt.kd_temp: the file would be lost: the conversion of "
                            "docs\\readme.txt (--text)"),
              std::string::npos)
        << pack.err;
    EXPECT_NE(pack.err.find("cannot pack keldo_window64.pkg.kd_temp: installed by the core package, the file "
                            "would be lost"),
              std::string::npos);
    EXPECT_FALSE(test::IsFile(dir / "lost.pkg"));
}

// Trees that would leak or loop, and outputs an attacker prepared. Links to
// files are not visible as links under Wine, so these run natively only.
TEST_F(KdpackTree, PackIsSafeOnAnyTree) {
    if (test::IsWindowsBuild()) GTEST_SKIP() << "links are made with POSIX calls";
    namespace fs = std::filesystem;
    ASSERT_TRUE(Put(dir / "outside/secret.key", "api key"));
    const auto fifo = [&](const std::string& path) {
        ASSERT_EQ(std::system(("mkfifo '" + path + "'").c_str()), 0);
    };
    struct Case {
        const char* name;
        std::function<void()> prepare;
        int exit;
        const char* err;  // a line of standard error
        const char* output = "src/out.pkg";
    } cases[] = {
        {"LinkToDot", [&] { fs::create_symlink(".", fs::path(dir / "src/docs/loop")); }, 1,
         "kdpack: cannot pack docs\\loop: a symbolic link or junction; a package cannot hold a link, "
         "and pack does not copy what it points to\n"},
        {"LinkToOutsideDirectory", [&] { fs::create_symlink(dir / "outside", fs::path(dir / "src/keys")); }, 1,
         "kdpack: cannot pack keys: a symbolic link"},
        {"LinkToOutsideFile",
         [&] { fs::create_symlink(dir / "outside/secret.key", fs::path(dir / "src/bin/key.txt")); }, 1,
         "kdpack: cannot pack bin\\key.txt: a symbolic link"},
        // A package and leftovers inside the tree are never packed.
        {"OutputInsideTheTree",
         [&] {
             Put(dir / "src/out.pkg", "previous package");
             Put(dir / "src/OUT.PKG.kdpack-body", "leftover");
         },
         0, "kdpack: leaving out out.pkg: it is kdpack's own output\n"},
        {"PlantedTemporaryLinkInsideTheTree",
         [&] { fs::create_symlink(dir / "outside/secret.key", fs::path(dir / "src/out.pkg.kdpack-tmp")); }, 0,
         "kdpack: leaving out out.pkg.kdpack-tmp: it is kdpack's own output\n"},
        // A planted link at the temporary name is removed, never written through.
        {"PlantedTemporaryLink",
         [&] {
             fs::create_symlink(dir / "outside/secret.key", fs::path(dir / "out.pkg.kdpack-tmp"));
             fs::create_symlink(dir / "outside/secret.key", fs::path(dir / "out.pkg.kdpack-body"));
         },
         0, "", "out.pkg"},
        // Reading a FIFO would wait forever; a device would pack its endless bytes.
        {"Fifo", [&] { fifo(dir / "src/bin/pipe"); }, 1,
         "kdpack: cannot pack bin\\pipe: a FIFO, socket or device; a package holds regular files only\n"},
        // Only a regular file is replaced: not a link, nor what it points to,
        // nor a directory or a device node (think of /dev/null as root).
        {"OutputIsALink", [&] { fs::create_symlink(dir / "outside/secret.key", fs::path(dir / "out.pkg")); }, 1,
         "kdpack: cannot rename", "out.pkg"},
        {"OutputIsADirectory", [&] { fs::create_directory(fs::path(dir / "out.pkg")); }, 1, "kdpack: cannot rename",
         "out.pkg"},
        {"OutputIsAFifo", [&] { fifo(dir / "out.pkg"); }, 1, "kdpack: cannot rename", "out.pkg"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.prepare();
        const std::string output = dir / c.output;
        const fs::file_type before = fs::symlink_status(fs::path(output)).type();
        const Outcome pack = Kdpack(dir, {"pack", dir / "src", output});
        EXPECT_EQ(pack.exit, c.exit) << c.name << "\n" << pack.err;
        EXPECT_NE(pack.err.find(c.err), std::string::npos) << c.name << "\n" << pack.err;
        EXPECT_EQ(test::ReadFile(dir / "outside/secret.key"), "api key") << c.name;
        EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(output + ".kdpack-tmp")))) << c.name;
        if (c.exit == 0) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(fs::path(output)))) << c.name;
            const std::string script = Script(output);
            EXPECT_EQ(script.find("out.pkg"), std::string::npos) << c.name;
            EXPECT_EQ(script.find("api key"), std::string::npos) << c.name;
        } else {
            EXPECT_EQ(fs::symlink_status(fs::path(output)).type(), before) << c.name;
        }
        EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(output + ".kdpack-body")))) << c.name;
        fs::remove_all(fs::path(dir / "src"));
        fs::remove_all(fs::path(output));
    }
}

// Ctrl-C, a kill, a closed terminal or a quit during a long pack: the
// temporary files go, the target never appears.
TEST_F(KdpackTree, InterruptRemovesTemporaryFiles) {
    if (test::IsWindowsBuild()) GTEST_SKIP() << "the signal is sent by a POSIX shell";
    std::error_code ec;
    std::filesystem::resize_file(std::filesystem::path(dir / "src/big.bin"), 0, ec);
    ASSERT_TRUE(Put(dir / "src/big.bin", ""));
    std::filesystem::resize_file(std::filesystem::path(dir / "src/big.bin"), 64u << 20, ec);
    ASSERT_FALSE(ec);
    for (const std::string signal : {"INT", "TERM", "HUP", "QUIT"}) {
        // Waits until both temporary files exist (the compression has begun),
        // then interrupts and records the exit status.
        const std::string command =
            "sh -c 'k=\"$1\"; d=\"$2\"; \"$k\" pack \"$d/src\" \"$d/out.pkg\" >/dev/null 2>&1 & pid=$!; i=0; "
            "while [ ! -e \"$d/out.pkg.kdpack-tmp\" ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done; "
            "kill -" + signal + " $pid; wait $pid; echo $? > \"$d/status\"' sh \"" KD_KDPACK_PROGRAM "\" \"" +
            dir.Path() + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(test::ReadFile(dir / "status"), "130\n") << signal;
        EXPECT_FALSE(test::IsFile(dir / "out.pkg")) << signal;
        EXPECT_FALSE(test::IsFile(dir / "out.pkg.kdpack-tmp")) << signal;
        EXPECT_FALSE(test::IsFile(dir / "out.pkg.kdpack-body")) << signal;
    }
}

// On a terminal (a pseudo-terminal of script) long steps draw a progress
// line and erase it; piped, the same commands write only what they always did.
TEST_F(KdpackTree, ProgressOnlyOnATerminal) {
    if (test::IsWindowsBuild()) GTEST_SKIP() << "the pseudo-terminal is made by a POSIX program";
    if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) here";
    std::string noise(6u << 20, '\0');
    std::uint32_t state = 1;
    for (char& c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    ASSERT_TRUE(Put(dir / "src/big.bin", noise));
    for (const std::string command : {"pack src out.pkg", "list out.pkg"}) {
        const std::string run = std::string("cd \"") + dir.Path() + "\" && " KD_KDPACK_PROGRAM " " + command;
        ASSERT_EQ(std::system((run + " >piped.txt 2>&1").c_str()), 0);
        ASSERT_EQ(std::system(("script -qec '" + run + "' /dev/null >\"" + dir / "terminal.txt\"").c_str()), 0);
        const std::string piped = test::ReadFile(dir / "piped.txt"), terminal = test::ReadFile(dir / "terminal.txt");
        EXPECT_EQ(piped.find('\r'), std::string::npos) << command;
        EXPECT_NE(terminal.find(command == "list out.pkg" ? "\rreading " : "\rcompressing "), std::string::npos);
        // Each line of the terminal, after its last CR, is what was piped.
        std::string shown;
        for (std::size_t start = 0, end; start < terminal.size(); start = end + 1) {
            end = std::min(terminal.find('\n', start), terminal.size());
            std::string line = terminal.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();  // the terminal's line end
            shown += line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1) + "\n";
        }
        EXPECT_EQ(shown, piped) << command;
    }
}

// A tree over 2 GiB is refused before anything is copied: every write would fail.
TEST_F(KdpackTree, RefusesOverTwoGibBeforeCopying) {
    std::error_code ec;
    ASSERT_TRUE(Put(dir / "src/big.bin", ""));
    std::filesystem::resize_file(std::filesystem::path(dir / "src/big.bin"), 0x80000000u, ec);
    if (ec) GTEST_SKIP() << "no sparse 2 GiB file here: " << ec.message();
    platform::InjectFault(platform::FaultPoint::Write, 1, platform::Error::DiskFull, 1 << 30);
    const Outcome pack = Kdpack(dir, {"pack", dir / "src", dir / "big.pkg"});
    platform::ClearFaults();
    EXPECT_EQ(pack.exit, 1);
    EXPECT_NE(pack.err.find("the files hold 2147483686 bytes; the installer reads scripts below 2 GiB only"),
              std::string::npos)
        << pack.err;
    EXPECT_FALSE(test::IsFile(dir / "big.pkg"));
}

// The problems verify finds in a script of core.pkg, one "line: message"
// each, and how many more were only counted.
std::string ProblemsOf(const std::string& script, std::size_t split) {
    ScriptCheck check(40, {"core.pkg"});
    const auto* bytes = reinterpret_cast<const unsigned char*>(script.data());
    split = std::min(split, script.size());
    check.Write(bytes, split);
    check.Write(bytes + split, script.size() - split);
    check.Finish();
    std::string shown;
    for (const ScriptProblem& problem : check.problems)
        shown += std::to_string(problem.line) + ": " + problem.message + "\n";
    if (check.problemCount > check.problems.size())
        shown.append("+").append(std::to_string(check.problemCount - check.problems.size())).append("\n");
    return shown;
}

TEST(KdpackVerify, NamesLetterCaseAndLineLengths) {
    const std::string head = "KELDO PACKAGE FILE\nunsigned\n";
    const std::string full(script::LinePiece, 'x');
    std::string unclosed, unclosedShown;  // a problem every two bytes
    for (std::size_t i = 0; i < ScriptCheck::ProblemsKept + 5; ++i) unclosed += "[\n";
    for (std::size_t i = 0; i < ScriptCheck::ProblemsKept; ++i)
        unclosedShown += std::to_string(i + 3) + ": section line without ']': the installer skips it: [\n";
    const std::string rejects = ": the installer rejects the package\n";
    const std::string sameOnWindows = "on a machine with code page 1252 (assumed) one would overwrite the other\n";
    struct Case {
        std::string body;
        std::string problems;
    } cases[] = {
        {"[DIR]\nName = a\\b \\c\n", "3: directory \"a\\b \\c\": a blank at the start or end of the name\n"},
        {"[DIR]\nName = a\\\\b/\n[DIR]\nName = \n", ""},
        {"[DIR]\nName = \n[FILE]\nName = \nSize = 0\n",
         "5: name \"\" names no file: the target is the directory itself\n"},
        {"[DIR]\nName = d\n[FILE]\nName = sub/x.\nSize = 0\n",
         "5: name \"sub/x.\": a dot at the end, which Windows drops\n"},
        {"[DIR]\nName = d\n[TEXTFILE]\nName = a?b\n",
         "5: name \"a?b\": the character ?, which Windows file names cannot hold\n"},
        {"[RMDIR]\nName = x<y\nWithsubdir = yes\n[TEXTDIR]\nName = q|r\n",
         "3: directory \"x<y\": the character <, which Windows file names cannot hold\n"
         "6: directory \"q|r\": the character |, which Windows file names cannot hold\n"},
        {"[DIR]\nName = \n[REMOVEFILE]\nName = *.tmp*\n[EXEC]\nName = run.exe /q:x\n", ""},
        {"[DIR]\nName = d\n[FILE]\nName = A.txt\nSize = 0\n[FILE]\nName = A.txt\nSize = 0\n"
         "[DIR]\nName = D/\n[FILE]\nName = a.txt\nSize = 0\n",
         "11: directory D differs only in letter case from an earlier one: " + sameOnWindows +
             "13: file a.txt in D differs only in letter case from an earlier file there: " + sameOnWindows},
        // Upper-cased character by character in code page 1252: E and e with
        // acute accents are one letter, sharp s stays apart from "ss".
        {"[DIR]\nName = d\n[FILE]\nName = \xc9.txt\nSize = 0\n[FILE]\nName = \xe9.txt\nSize = 0\n"
         "[FILE]\nName = \xdf\nSize = 0\n[FILE]\nName = SS\nSize = 0\n",
         "8: file \xe9.txt in d differs only in letter case from an earlier file there: " + sameOnWindows},
        // A last line without its line end is read whole up to 2046 bytes.
        {full, ""},
        {full + "x", "3: line longer than 2046 bytes with its line end: the installer reads it in pieces\n"},
        {full.substr(1) + "\n", ""},
        {full + "\n", "3: line longer than 2046 bytes with its line end: the installer reads it in pieces\n"},
        // The installer's own copy of the script, core.pkg.kd_temp in the
        // destination, as Windows resolves the name.
        {"[DIR]\nName = .\n[FILE]\nName = Core.Pkg.KD_TEMP\nSize = 0\n",
         "3: directory \".\": a dot at the end, which Windows drops\n"
         "5: [FILE] of Core.Pkg.KD_TEMP would change the installer's copy of the script" + rejects},
        {"[DIR]\nName = \n[TEXTFILE]\nName = core.pkg\n[DIR]\nName = d\n[TEXTFILE]\nName = ../core.pkg.kd_temp\n",
         "5: [TEXTFILE] of core.pkg would change the installer's copy of the script" + rejects +
             "9: name leaves the destination with '..': ../core.pkg.kd_temp\n"},
        {"[FILE]\nName = core.pkg.kd_temp\nSize = 0\n[DIR]\nName = d\n[FILE]\nName = core.pkg.kd_temp\nSize = 0\n",
         "3: [FILE] before any [DIR]: the installer takes core.pkg.kd_temp relative to its own working directory\n"},
        {"[DIR]\nName = d\n[FILE]\nName = A.TXT\nSize = 0\n[FILE]\nName = a.txt.KD_temp\nSize = 0\n[TEXTDIR]\nName = d/\n"
         "[DIR]\nName = \n[FILE]\nName = b\nSize = 0\n[TEXTFILE]\nName = b\n[FILE]\nName = b.kd_temp\nSize = 0\n",
         "11: file d\\a.txt.kd_temp would be lost: the conversion of d\\a.txt writes its converted copy under that name "
         "and removes it\n"
         "20: file b.kd_temp would be lost: the conversion of b writes its converted copy under that name and removes it\n"},
        // Names a code page 1252 machine shows other than meant.
        {"[DIR]\nName = Caf\xc3\xa9\n[DIR]\nName = a\x81\n",
         "3: name Caf\xc3\xa9 looks like UTF-8 read as code page 1252: packed without converting its names; pack "
         "the tree again\n5: name a\x81 holds the byte 0x81, which code page 1252 leaves undefined\n"},
        {unclosed, unclosedShown + "+5\n"},
    };
    for (const Case& c : cases) {
        const std::string script = head + c.body;
        EXPECT_EQ(ProblemsOf(script, script.size()), c.problems) << c.body;
        // Split where a full piece ends, the decoder may hand it over alone.
        EXPECT_EQ(ProblemsOf(script, head.size() + script::LinePiece), c.problems) << c.body;
    }
}

// Damaged and sound packages kept as files, each with the verdict verify
// must print (the package path shown as PKG) and its exit status. The
// installer runs on each too: it rejects exactly the packages verify says it
// rejects, and installs every package verify finds sound.
TEST(KdpackGolden, VerifyVerdictsAgreeWithTheInstaller) {
    struct Case {
        const char* name;
        int exit;
        const char* listed = "";  // a line kdpack list must print
        bool partly = false;      // rejected after earlier commands wrote files
        std::string converted = {};  // d\a.txt as installed
    } cases[] = {
        {"digest-only", 0},  {"no-digest", 0},    {"bad-digest", 1}, {"bad-header", 1},
        {"data", 1, "", true}, {"long", 1},       {"missing-marker", 1, "", true}, {"names", 1, "", true},
        {"no-header", 1},    {"truncated", 1},    {"zero-length", 1}, {"header-only", 1},
        // A line of one zero byte does not end the script: what follows runs.
        {"zero-byte-line", 1, "RMDIR      \nDIR        \nFILE       x.txt 1\n"},
        // Sizes that wrap in 32 bits are refused, not read as 0 or 1.
        {"size-4294967296", 1}, {"size-4294967297", 1},
        // A FILE over the installer's copy of the script is refused, as the
        // name the installer reads it by, whatever the file is called here.
        {"script-copy", 0}, {"core-1.2", 1},
        // Refused names, whatever else the name holds.
        {"climb-absolute", 1}, {"device-drive", 1}, {"file-climb-absolute", 1, "", true},
        {"file-stream-climb", 1, "", true}, {"remove-climb", 1, "", true},
        // A file where a directory of its name, letter case aside, stands.
        {"file-beside-directory", 1},
        // Files the conversion or the window package's script copy removes.
        {"conversion-copy", 1}, {"window-script-copy", 1},
        // A zero byte in a converted file is kept, and so is all after it.
        {"zero-byte-text", 0, "", false, std::string("ab\0cd\r\n", 7)},
    };
    test::TempDir dir;
    const std::string data = KD_TOOLS_TEST_DATA;
    for (const Case& c : cases) {
        const std::string package = data + "/" + c.name + ".pkg";
        const Outcome run = Kdpack(dir, {"verify", package});
        EXPECT_EQ(run.exit, c.exit) << c.name;
        std::string shown = run.out;
        for (std::size_t at; (at = shown.find(package)) != std::string::npos;) shown.replace(at, package.size(), "PKG");
        bool ok = false;
        const std::string expected = test::ReadFile(data + "/" + c.name + ".expect", &ok);
        ASSERT_TRUE(ok) << c.name;
        EXPECT_EQ(shown, expected) << c.name;

        const Outcome list = Kdpack(dir, {"list", package});
        EXPECT_NE(list.out.find(c.listed), std::string::npos) << c.name << "\n" << list.out;

        // Installed under each name the installer reads, from a directory of
        // its own: a FILE before any DIR lands there.
        for (const script::Role role : {script::Role::Core, script::Role::Window}) {
            const std::string name = script::PackageName(role);
            const std::string work = dir / (std::string(c.name) + "-" + name);
            const std::string copy = work + "/" + name;
            const std::string destination = work + "/dest";
            std::filesystem::create_directories(std::filesystem::path(work));
            ASSERT_TRUE(test::WriteFile(copy, test::ReadFile(package)));
            const std::string previous = platform::CurrentDirectory();
            ASSERT_TRUE(test::ChangeDirectory(work));
            package::KdPackage installer;
            const bool installed = installer.Install(copy, destination, false);
            ASSERT_TRUE(test::ChangeDirectory(previous));
            const bool rejected = installer.errorText == "Bad package file " + copy ||
                                  installer.errorText == "Cannot decompress package file";
            const bool verifyRejects = run.out.find("the installer rejects the package\n") != std::string::npos ||
                                       run.out.find("rejects the package as " + name) != std::string::npos;
            EXPECT_EQ(rejected, verifyRejects) << c.name << " as " << name << ": " << installer.errorText;
            EXPECT_TRUE(installed || c.exit != 0) << c.name << ": " << installer.errorText;
            EXPECT_TRUE(!rejected || c.partly || test::ListTree(destination).empty()) << c.name;
            if (!c.converted.empty()) {
                EXPECT_EQ(test::ReadFile(destination + "/d/a.txt"), c.converted) << c.name;
            }
        }
    }
    // A role named, or read from the file name, judges under that name only.
    const std::string core = data + "/core-1.2.pkg";
    EXPECT_EQ(Kdpack(dir, {"verify", "--as", "window", core}).exit, 0);
    EXPECT_NE(Kdpack(dir, {"verify", "--as=core", core}).out.find("; the installer rejects the package\n"),
              std::string::npos);
    ASSERT_TRUE(test::WriteFile(dir / "KELDO_CORE.PKG", test::ReadFile(core)));
    EXPECT_EQ(Kdpack(dir, {"verify", dir / "KELDO_CORE.PKG"}).exit, 1);
    const Outcome list = Kdpack(dir, {"list", data + "/header-only.pkg"});
    EXPECT_NE(list.err.find("kdpack: 1 problem, and the installer rejects the package; kdpack verify"),
              std::string::npos)
        << list.err;
}

}  // namespace
}  // namespace kd::kdpack
