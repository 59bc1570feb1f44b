// End-to-end runs of the built kdinstall: answers piped to standard input, and
// checks of the exact output, the exit code, the installed files, the machine
// environment values and how the stand-in kds.exe was started. Under Windows
// they run only under Wine, in the test prefix, never on a real machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codec/encoder.h"
#include "harness.h"
#include "platform/platform.h"
#include "support/planted.h"
#include "support/temp_dir.h"
#include "openssl_signatures.h"
#include "package/package_keys.h"
#include "tools/kdpack/kdpack.h"
#include "util/files.h"
#include "util/strings.h"

namespace kd::e2e {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr bool Windows = test::IsWindowsBuild();
const std::string Restart = "\n\nPLEASE RESTART YOUR COMPUTER FOR TERMINATING THE INSTALLATION";
const std::string Failed = "\n\nInstallation failed\n";
const std::string Enter = "\n\nPress enter to continue";
// PATH as each run finds it; the system directories stay, so that other
// programs started in the prefix meanwhile still find theirs.
const std::string BasePath = "C:\\windows\\system32;C:\\windows";

// A path as the installer spells it: natively "/" becomes "\", which the
// stand-in turns back at the system boundary.
std::string W(std::string path) {
    if (!Windows) std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string BuiltProgram(const std::string& name) {
    const std::string self = platform::ProgramPath();
    return self.substr(0, self.find_last_of("\\/") + 1) + name + (Windows ? ".exe" : "");
}

struct PackageFile {
    std::string directory;  // as the DIR command names it
    std::string name;
    std::string data;
    bool text = false;      // converted to CR LF line ends by TEXTFILE
};

std::string Script(const std::vector<PackageFile>& files, const std::string& header) {
    std::string script = header + "\nwritten by the end-to-end tests\n";
    std::optional<std::string> directory;
    for (const PackageFile& file : files) {
        if (directory != file.directory) {
            script += "[DIR]\nName = " + file.directory + "\n";
            directory = file.directory;
        }
        script += "[FILE]\nName = " + file.name + "\nSize = " + std::to_string(file.data.size()) +
                  "\n" + file.data + "\n";
        if (file.text) script += "[TEXTFILE]\nName = " + file.name + "\n";
    }
    return script;
}

// The lines Install prints for a package whose DIR commands name `directories`.
std::string Progress(const std::string& packagePath, const std::vector<std::string>& directories) {
    std::string text = "\nInstalling package " + packagePath + "\nUncompressing package file\nVerifying package";
    for (const std::string& directory : directories) text += "\nDirectory " + directory;
    return text;
}

std::string Ask(const std::string& defaultDestination) {
    return "\n\nPlease enter KELDO destination directory (" + defaultDestination + ") => ";
}
std::string Confirm(const std::string& candidate) {
    return "\n\nConfirm destination directory " + candidate + " (y/n/q) => ";
}
const std::string Start = "\n\nKELDO server installation\nChecking server...";

class InstallerRun : public testing::Test {
protected:
    static bool MayRun() { return !Windows || test::RunningUnderWine(); }
    static void SetUpTestSuite() {
        suiteScratch = new TempDir;
        if (MayRun()) BeginRegistry(suiteScratch->Path());
    }
    static void TearDownTestSuite() {
        if (MayRun()) EndRegistry();
        delete suiteScratch;
    }

    void SetUp() override {
        if (!MayRun()) GTEST_SKIP() << "writes the machine environment: runs in a Wine prefix only";
        if (!Keyed() && !package::BuiltInPackageKeys().empty())
            GTEST_SKIP() << "kdinstall is built with KD_PACKAGE_KEY and refuses unsigned packages";
        for (const char* directory : {"setup", "cwd", "scratch"}) fs::create_directory(root / directory);
        if (!Windows) fs::create_directory(root / "cwd\\c:");  // "c:\keldo" is relative here
        fs::copy_file(BuiltProgram("kdinstall"), root / "setup\\kdinstall.exe");
        kds = test::ReadFile(BuiltProgram("kds"));
        ASSERT_FALSE(kds.empty());
        DeleteValue("KELDO");
        WriteValue("PATH", 2, BasePath);
        RemoveDefaultInstallation();
    }
    void TearDown() override { RemoveDefaultInstallation(); }
    // The fixture runs kdinstall_keyed, built with the test-only keys.
    virtual bool Keyed() const { return false; }

    // Where "c:\keldo" lands: the prefix's drive C, natively below the run's directory.
    std::string DefaultInstallation() const { return Windows ? "c:\\keldo" : root / "cwd\\c:\\keldo"; }
    void RemoveDefaultInstallation() {
        std::error_code ignored;
        fs::remove_all(DefaultInstallation(), ignored);
    }

    std::vector<PackageFile> CoreFiles() const {
        return {{"Bin", "kds.exe", kds}, {"doc", "readme.txt", "line one\nline two\n", true}};
    }
    std::vector<PackageFile> WindowFiles() const {
        return {{"window", "keldo.cfg", "width = 800\n"}};
    }
    void Pack(const std::string& relative, const std::vector<PackageFile>& files,
              const std::string& header = "KELDO PACKAGE FILE") {
        std::string container;
        ASSERT_TRUE(codec::PackageEncoder().Encode(Script(files, header), container));
        ASSERT_TRUE(test::WriteFile(root / relative, container));
    }
    void PackBoth() {
        Pack("setup/keldo_core.pkg", CoreFiles());
        Pack("setup/keldo_window64.pkg", WindowFiles());
    }

    RunResult Run(const std::string& input, const std::optional<std::string>& keldo = std::nullopt,
                  const std::string& setup = {}) {
        RunResult result = RunProgram(root / "setup\\kdinstall.exe", (setup.empty() ? Setup() : setup) + "kdinstall.exe",
                                      root / "cwd", input, keldo, root / "scratch");
        EXPECT_TRUE(result.started);
        EXPECT_TRUE(result.finished);
        if (Windows) {
            // The console output has CR LF line ends; compare without the CRs.
            std::string plain;
            for (std::size_t i = 0; i < result.output.size(); ++i) {
                if (result.output[i] == '\n') {
                    EXPECT_TRUE(i > 0 && result.output[i - 1] == '\r');
                }
                if (result.output[i] != '\r' || result.output[i + 1] != '\n') plain += result.output[i];
            }
            result.output = plain;
        }
        return result;
    }

    std::string Setup() const { return W(root / "setup") + "\\"; }
    std::string CorePath() const { return Setup() + "keldo_core.pkg"; }
    std::string WindowPath() const { return Setup() + "keldo_window64.pkg"; }

    // The whole output of a run that installs both packages into `destination`.
    std::string Installed(const std::string& destination, const std::string& corePath) const {
        return "\n\nInstalling KELDO in " + destination + " directory\nThis may take a few minutes..." +
               Progress(corePath, {"Bin", "doc"}) + Progress(WindowPath(), {"window"}) +
               "\nUpdating environment...\nRegistering the Keldo service...";
    }

    // How kds.exe in `bin` (as the installer spells it; `nativeBin` as the
    // system reports it) records a start with `argument`.
    static std::string Started(const std::string& bin, const std::string& nativeBin, const char* argument) {
        const std::string program = bin + "\\kds.exe";
        return "command line: " + (Windows ? "\"" + program + "\"" : program) + " " + argument +
               "\nworking directory: " + nativeBin + "\n";
    }

    void ExpectInstalledFiles(const std::string& destination) {
        EXPECT_TRUE(test::ReadFile((fs::path(destination) / "Bin" / "kds.exe").string()) == kds)
            << "Bin\\kds.exe is not the stand-in";
        EXPECT_EQ(test::ReadFile((fs::path(destination) / "doc" / "readme.txt").string()), "line one\r\nline two\r\n");
        EXPECT_EQ(test::ReadFile((fs::path(destination) / "window" / "keldo.cfg").string()), "width = 800\n");
        for (const std::string& entry : test::ListTree(destination)) {
            EXPECT_EQ(entry.find(".kd_temp"), std::string::npos) << entry;
        }
    }
    static void ExpectValue(const char* name, std::uint32_t type, const std::string& data) {
        const RegistryValue value = ReadValue(name);
        EXPECT_TRUE(value.exists) << name;
        EXPECT_EQ(value.type, type) << name;
        EXPECT_EQ(value.data, data) << name;
    }
    std::string Log(const std::string& destination) {
        return test::ReadFile((fs::path(destination) / "Bin" / "kds.log").string());
    }

    static TempDir* suiteScratch;
    TempDir root;
    std::string kds;
};

TempDir* InstallerRun::suiteScratch = nullptr;

TEST_F(InstallerRun, FirstInstallationIntoTheDefaultDirectory) {
    PackBoth();
    const RunResult run = Run("\n\n\n");
    EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm("c:\\keldo") + Installed("c:\\keldo", CorePath()) +
                              "\n\nInstallation terminated successfully\n" + Restart + Enter);
    EXPECT_EQ(run.exitCode, 0);
    ExpectInstalledFiles(DefaultInstallation());
    ExpectValue("KELDO", 1, "c:\\keldo");
    ExpectValue("PATH", 2, BasePath + ";c:\\keldo\\Bin");
    const std::string bin = DefaultInstallation() + (Windows ? "\\Bin" : "/Bin");
    EXPECT_EQ(Log(DefaultInstallation()),
              Started("c:\\keldo\\Bin", bin, "-r") + Started("c:\\keldo\\Bin", bin, "-i"));
}

TEST_F(InstallerRun, ReinstallationIntoTheSameDirectory) {
    PackBoth();
    const std::string destination = W(root / "Keldo");
    WriteValue("KELDO", 1, destination);
    std::string upper = destination;
    util::MakeUpper(upper);
    // A PATH far over 2047 characters, the old Bin entry at its end: read and written whole.
    std::string entries = BasePath;
    for (int i = 0; entries.size() < 3000; ++i) entries += ";C:\\tools\\t" + std::to_string(i);
    WriteValue("PATH", 2, entries + ";" + upper + "\\BIN\\x64;C:\\tools");
    const RunResult run = Run("\ny\n\n", destination);
    EXPECT_EQ(run.output, Start + Ask(destination) + Confirm(destination) + Installed(destination, CorePath()) +
                              "\n\nInstallation terminated successfully\n" + Enter);
    EXPECT_EQ(run.exitCode, 0);
    ExpectInstalledFiles(root / "Keldo");
    ExpectValue("KELDO", 1, destination);
    // The old Bin text is replaced in its place; the rest of the entry stays.
    ExpectValue("PATH", 2, entries + ";" + destination + "\\Bin\\x64;C:\\tools");
    EXPECT_EQ(Log(root / "Keldo"), Started(destination + "\\Bin", root / "Keldo\\Bin", "-i"));
}

TEST_F(InstallerRun, DestinationWithBlanks) {
    PackBoth();
    fs::create_directory(root / "Program Files");
    const std::string destination = W(root / "Program Files") + "\\Keldo Server";
    WriteValue("PATH", 2, BasePath + ";%KELDO%\\bin;C:\\tools");
    const RunResult run = Run("  " + destination + "\\  \n\n\n");
    EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm(destination) + Installed(destination, CorePath()) +
                              "\n\nInstallation terminated successfully\n" + Restart + Enter);
    EXPECT_EQ(run.exitCode, 0);
    ExpectInstalledFiles(root / "Program Files\\Keldo Server");
    ExpectValue("KELDO", 1, destination);
    ExpectValue("PATH", 2, BasePath + ";" + destination + "\\Bin;C:\\tools");
    const std::string bin = destination + "\\Bin", nativeBin = root / "Program Files\\Keldo Server\\Bin";
    EXPECT_EQ(Log(root / "Program Files\\Keldo Server"),
              Started(bin, nativeBin, "-r") + Started(bin, nativeBin, "-i"));
}

TEST_F(InstallerRun, QuitOrEndOfInputLeavesEverythingAsItWas) {
    PackBoth();
    struct Case {
        const char* input;
        std::string output;
    };
    const Case cases[] = {
        {"q\n", Start + Ask("c:\\keldo")},
        {"\nq\n\n", Start + Ask("c:\\keldo") + Confirm("c:\\keldo")},
        {"", Start + Ask("c:\\keldo")},
        {"\n", Start + Ask("c:\\keldo") + Confirm("c:\\keldo")},
    };
    for (const Case& c : cases) {
        const RunResult run = Run(c.input);
        EXPECT_EQ(run.output, c.output) << c.input;
        EXPECT_EQ(run.exitCode, -1) << c.input;
    }
    EXPECT_FALSE(ReadValue("KELDO").exists);
    ExpectValue("PATH", 2, BasePath);
    EXPECT_FALSE(fs::exists(DefaultInstallation()));
}

TEST_F(InstallerRun, MissingPackages) {
    RunResult run = Run("\n");
    EXPECT_EQ(run.output, "\n\nKELDO server installation\nCannot find " + Setup() + "..\\keldo_core.pkg package" +
                              Failed + Enter);
    EXPECT_EQ(run.exitCode, -1);

    Pack("setup/keldo_core.pkg", CoreFiles());
    Pack("keldo_window64.pkg", WindowFiles());  // not looked for in the parent
    run = Run("");
    EXPECT_EQ(run.output, "\n\nKELDO server installation\nCannot find " + WindowPath() + " package" + Failed + Enter);
    EXPECT_EQ(run.exitCode, -1);
}

// Spelt with "/" the program's folder still gives the script copy its name
// after the last separator: it is made in the destination, not beside it.
TEST_F(InstallerRun, CorePackageInTheParentDirectory) {
    Pack("keldo_core.pkg", CoreFiles());
    Pack("setup/keldo_window64.pkg", WindowFiles());
    std::string slashed = Setup();
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    for (const std::string& setup : {Setup(), slashed}) {
        SCOPED_TRACE(setup);
        // The installer adds a backslash to a folder that does not end in one.
        const std::string folder = setup.back() == '\\' ? setup : setup + "\\";
        const std::string destination = W(root / "dest");
        fs::remove_all(root / "dest");
        const RunResult run = Run(destination + "\ny\n\n", std::nullopt, setup);
        EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm(destination) +
                                  "\n\nInstalling KELDO in " + destination +
                                  " directory\nThis may take a few minutes..." +
                                  Progress(folder + "..\\keldo_core.pkg", {"Bin", "doc"}) +
                                  Progress(folder + "keldo_window64.pkg", {"window"}) +
                                  "\nUpdating environment...\nRegistering the Keldo service..." +
                                  "\n\nInstallation terminated successfully\n" + Restart + Enter);
        EXPECT_EQ(run.exitCode, 0);
        ExpectInstalledFiles(root / "dest");
        EXPECT_FALSE(fs::exists(root / "keldo_core.pkg.kd_temp"));
    }
}

TEST_F(InstallerRun, RunningServerStopsBeforeAnyQuestion) {
    PackBoth();
    fs::create_directories(root / "previous\\Bin");
    ASSERT_TRUE(test::WriteFile(root / "previous\\Bin\\keldo.run", ""));
    std::string keldo = " ";  // blanks and the trailing separator do not matter
    const RunResult run = Run("\n\n\n", keldo.append(W(root / "previous")).append("\\ "));
    EXPECT_EQ(run.output, Start + "\nThe KELDO service is running (or has not been stopped correctly)" +
                              "\nPlease stop it and restart the installation" + Failed + Enter);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_FALSE(ReadValue("KELDO").exists);
}

// Kdpack's command line, run in this process.
int Kdpack(const TempDir& scratch, std::vector<std::string> args) {
    args.insert(args.begin(), "kdpack");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::FILE* out = std::fopen((scratch / "kdpack.txt").c_str(), "wb");
    if (!out) return -1;
    const int exit = kdpack::RunKdpack(static_cast<int>(argv.size()), argv.data(), out, out);
    std::fclose(out);
    return exit;
}

TEST_F(InstallerRun, FailingPackageStopsTheInstallation) {
    const std::vector<std::function<void()>> damages = {
        [&] { Pack("setup/keldo_core.pkg", CoreFiles(), "keldo package file"); },  // header in the wrong case
        // Packed by kdpack, then one byte of a file's data changed and the
        // script compressed again: the digest on line 2 no longer matches.
        [&] {
            for (const PackageFile& file : CoreFiles()) {
                ASSERT_TRUE(test::WriteFile(root / ("tree/" + file.directory + "/" + file.name), file.data));
            }
            const std::string package = root / "setup/keldo_core.pkg", script = root / "scratch/core.txt";
            ASSERT_EQ(Kdpack(root, {"pack", root / "tree", package, "--text", "*.txt"}), 0);
            ASSERT_EQ(Kdpack(root, {"decompress", package, script}), 0);
            std::string text = test::ReadFile(script);
            const std::size_t at = text.find("line two");
            ASSERT_NE(at, std::string::npos);
            text[at] = 'L';
            ASSERT_TRUE(test::WriteFile(script, text));
            ASSERT_EQ(Kdpack(root, {"compress", script, package}), 0);
        },
    };
    for (const auto& damage : damages) {
        fs::create_directories(root / "tree/Bin");
        fs::create_directories(root / "tree/doc");
        damage();
        Pack("setup/keldo_window64.pkg", WindowFiles());
        const std::string destination = W(root / "dest");
        const RunResult run = Run(destination + "\n\n\n");
        EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm(destination) + "\n\nInstalling KELDO in " +
                                  destination + " directory\nThis may take a few minutes..." +
                                  Progress(CorePath(), {}) + "\nError: Bad package file " + CorePath() + Failed +
                                  Enter);
        EXPECT_EQ(run.exitCode, -1);
        // Nothing of the package, and the window package not tried.
        EXPECT_EQ(test::ListTree(root / "dest"), std::vector<std::string>{});
        EXPECT_FALSE(ReadValue("KELDO").exists);
        fs::remove_all(fs::path(root / "dest"));
    }
}

TEST_F(InstallerRun, DestinationOfAnotherUserIsRefusedBeforeAnythingIsWritten) {
    if (!test::CanPlantLinks()) GTEST_SKIP() << "giving a directory away needs root (Wine as root)";
    PackBoth();
    fs::create_directory(root / "dest");
    ASSERT_TRUE(test::GiveToOtherUser(root / "dest"));
    const std::string destination = W(root / "dest");
    const RunResult run = Run(destination + "\n\n\n");
    EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm(destination) + "\n\nInstalling KELDO in " +
                              destination + " directory\nThis may take a few minutes..." +
                              "\nError: cannot use target directory: " + destination + Failed + Enter);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(test::ListTree(root / "dest"), std::vector<std::string>{});
    EXPECT_FALSE(ReadValue("KELDO").exists);
}

TEST_F(InstallerRun, MissingServerExecutableFailsTheRegistration) {
    std::vector<PackageFile> core = CoreFiles();
    core.erase(core.begin());  // no Bin\kds.exe
    Pack("setup/keldo_core.pkg", core);
    Pack("setup/keldo_window64.pkg", WindowFiles());
    const std::string destination = W(root / "dest");
    const RunResult run = Run(destination + "\n\n\n");
    EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm(destination) + "\n\nInstalling KELDO in " +
                              destination + " directory\nThis may take a few minutes..." +
                              Progress(CorePath(), {"doc"}) + Progress(WindowPath(), {"window"}) +
                              "\nUpdating environment...\nRegistering the Keldo service..." +
                              "\nError: cannot register the Keldo service)" + Failed + Enter);
    EXPECT_EQ(run.exitCode, -1);
    // The environment was updated before the registration failed.
    ExpectValue("KELDO", 1, destination);
    ExpectValue("PATH", 2, BasePath + ";" + destination + "\\Bin");
}

// PATH text as the registry stores it: under Windows UTF-16 little-endian
// with its terminating NUL; natively the stand-in's bytes, here UTF-8 (a lone
// surrogate in its three-byte form).
std::string Stored(const std::u16string& text) {
    std::string bytes;
    if (Windows) {
        for (const char16_t unit : text + u'\0') {
            bytes += static_cast<char>(unit & 0xFF);
            bytes += static_cast<char>(unit >> 8);
        }
        return bytes;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

TEST_F(InstallerRun, PathEntriesInAnyScriptAndPathsOfOtherTypes) {
    using namespace std::string_literals;
    PackBoth();
    const std::string destination = W(root / "uni");
    const std::u16string bin(destination.begin(), destination.end());  // ASCII
    const std::u16string before = u"C:\\windows\\system32;C:\\windows;C:\\Программы\\bin;C:\\日本語\\tools;"
                                  u"C:\\ｆｕｌｌ\\bin;C:\\Ωmega;C:\\Café\\x;C:\\lone\xD800;C:\\𝄞";
    const std::u16string after = u"C:\\ｋｅｌｄｏ;%SystemRoot%\\system32";
    const std::u16string path = before + u";D:\\Keldo-old\\bin;" + after;
    const std::u16string rewritten = before + u";" + bin + u"\\Bin;" + after;
    struct Case {
        const char* name;
        std::uint32_t type;
        std::u16string stored;
        std::optional<std::u16string> expected;  // none: kept byte for byte
        std::optional<std::string> keldo = std::nullopt;
    };
    const Case cases[] = {
        {"expandable", 2, path, rewritten},
        {"string", 1, path, rewritten},
        {"multi string", 7, u"C:\\a\0C:\\b\0C:\\c\0"s, std::nullopt},
        {"NUL inside", 2, path + u'\0' + u"C:\\after", std::nullopt},
        // A relative KELDO of an earlier run: its "y\Bin" is no part of "C:\Ruby\Bin".
        {"relative KELDO", 2, u"C:\\Ruby\\Bin;y\\Bin;C:\\z", u"C:\\Ruby\\Bin;" + bin + u"\\Bin;C:\\z", "y"},
        // Only an entry that is the old Bin, or begins with it and "\", is replaced.
        {"old Bin after a longer name", 2, u"C:\\keldo\\Binaries;C:\\keldo\\Bin",
         u"C:\\keldo\\Binaries;" + bin + u"\\Bin", "C:\\keldo"},
        {"old Bin after its subdirectory", 2, u"C:\\keldo\\Bin\\tools;C:\\Windows;C:\\keldo\\Bin",
         u"C:\\keldo\\Bin\\tools;C:\\Windows;" + bin + u"\\Bin", "C:\\keldo"},
        {"old Bin inside an entry", 2, u"XC:\\keldo\\Bin;C:\\Windows", bin + u"\\Bin;C:\\Windows", "C:\\keldo"},
    };
    for (const Case& c : cases) {
        DeleteValue("KELDO");
        WriteStoredValue("PATH", c.type, Stored(c.stored));
        const RunResult run = Run(destination + "\ny\n\n", c.keldo);
        EXPECT_EQ(run.exitCode, 0) << c.name << run.output;
        ExpectValue("KELDO", 1, destination);
        const RegistryValue value = ReadStoredValue("PATH");
        EXPECT_EQ(value.type, c.expected ? 2u : c.type) << c.name;
        EXPECT_TRUE(value.data == Stored(c.expected.value_or(c.stored))) << c.name;
    }
}

TEST_F(InstallerRun, OverLongAnswerIsOneAnswer) {
    PackBoth();
    const std::string destination = W(root / "long");
    // A 3000-byte line, "y" (no full path), a ".." and then the real destination.
    const RunResult run = Run(std::string(3000, 'x') + "\ny\n" + destination + "\\..\n" + destination + "\ny\n\n");
    const std::string notFull = "\nThe destination must be a full path, such as c:\\keldo";
    EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + "\nThe answer is too long" + Ask("c:\\keldo") +
                              notFull + Ask("c:\\keldo") + notFull + Ask("c:\\keldo") +
                              Confirm(destination) + Installed(destination, CorePath()) +
                              "\n\nInstallation terminated successfully\n" + Restart + Enter);
    EXPECT_EQ(run.exitCode, 0);
    ExpectInstalledFiles(root / "long");
    ExpectValue("KELDO", 1, destination);
    ExpectValue("PATH", 2, BasePath + ";" + destination + "\\Bin");
}

TEST_F(InstallerRun, Utf8AnswerFileWithAMark) {
    PackBoth();
    // As PowerShell 5 and many editors save it: the mark is no part of the
    // first answer, and Windows takes "é" into its code page (1252 here).
    const std::string name = Windows ? "Caf\xE9" : "Caf\xC3\xA9", destination = W(root / name);
    const RunResult run = Run("\xEF\xBB\xBF" + W(root / "Caf\xC3\xA9") + "\ny\n\n");
    EXPECT_EQ(run.output, Start + Ask("c:\\keldo") + Confirm(destination) + Installed(destination, CorePath()) +
                              "\n\nInstallation terminated successfully\n" + Restart + Enter);
    EXPECT_EQ(run.exitCode, 0);
    // Looked for as the installer names files: in the code page.
    EXPECT_TRUE(util::FileExists((destination + "\\window\\keldo.cfg").c_str()));
    ExpectValue("KELDO", 1, destination);
}

TEST_F(InstallerRun, SamplePackagesFromKdpack) {
    const std::string self = platform::ProgramPath();
    const std::string examples = self.substr(0, self.find_last_of("\\/")) + (Windows ? "\\..\\examples\\" : "/../examples/");
    if (!test::IsFile(examples + "keldo_core.pkg")) GTEST_SKIP() << "the samples were not packed in this build";
    fs::copy_file(examples + "keldo_core.pkg", root / "setup\\keldo_core.pkg");
    fs::copy_file(examples + "keldo_window64.pkg", root / "setup\\keldo_window64.pkg");
    const std::string destination = W(root / "sample");
    const RunResult run = Run(destination + "\n\n\n");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\n\nInstallation terminated successfully\n"), std::string::npos) << run.output;
    EXPECT_TRUE(test::ReadFile(root / "sample\\Bin\\kds.exe") == kds) << "Bin\\kds.exe is not the stand-in";
    const std::string readme = test::ReadFile(root / "sample\\doc\\readme.txt");
    EXPECT_NE(readme.find("\r\n"), std::string::npos);  // converted by TEXTFILE
    const std::string bin = destination + "\\Bin";
    EXPECT_EQ(Log(root / "sample"), Started(bin, root / "sample\\Bin", "-r") + Started(bin, root / "sample\\Bin", "-i"));
}

}  // namespace
}  // namespace kd::e2e

namespace kd::e2e {
namespace {

#ifdef _WIN32
TEST_F(InstallerRun, AnswerFileThroughCmd) {
    PackBoth();
    const std::string destination = W(root / "piped");
    // The example of the documentation, as one cmd.exe line: an answer file,
    // then the installer started by name from the packages' directory (so the
    // installer directory is the current directory).
    std::string line = "cmd.exe /c \"echo ";
    line.append(destination).append("> answers.txt& echo y>> answers.txt& echo.>> answers.txt& ");
    line.append("kdinstall.exe < answers.txt\"");
    const RunResult run = RunCommandLine("C:\\windows\\system32\\cmd.exe", line, root / "setup", "",
                                         std::nullopt, root / "scratch");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    ExpectInstalledFiles(root / "piped");
    ExpectValue("KELDO", 1, destination);
}
#endif

TEST_F(InstallerRun, ProgramAsksForNoElevation) {
    const std::string program = test::ReadFile(BuiltProgram("kdinstall"));
    if (!Windows) GTEST_SKIP() << "the manifest is part of the Windows program";
    EXPECT_NE(program.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}

// kdinstall built with the test-only keys a and b. The core package carries
// the host's openssl signatures of the build's kds.exe; the window package was
// packed and signed by kdpack with key a (kdpack.exe cannot sign under Wine).
class KeyedInstallerRun : public InstallerRun {
protected:
    bool Keyed() const override { return true; }
    void SetUp() override {
        InstallerRun::SetUp();
        if (IsSkipped()) return;
        fs::copy_file(BuiltProgram("kdinstall_keyed"), root / "setup\\kdinstall.exe",
                      fs::copy_options::overwrite_existing);
        body = test::ReadFile((Windows ? "Z:" : "") + std::string(OpensslBody));
        ASSERT_FALSE(body.empty());
        const std::string window = test::ReadFile((Windows ? "Z:" : "") + std::string(KD_SOURCE_DIR "tests/e2e/data/window-signed.pkg"));
        ASSERT_TRUE(test::WriteFile(root / "setup/keldo_window64.pkg", window));
    }

    // The core package: line 2 with the digest of `signedText` in place of
    // {D}, then `rest`.
    void PackCore(std::string lineTwo, const std::string& signedText, const std::string& rest) {
        platform::Sha256 hash;
        hash.Update(signedText.data(), signedText.size());
        unsigned char digest[platform::Sha256::DigestSize];
        ASSERT_TRUE(hash.Finish(digest));
        const std::size_t at = lineTwo.find("{D}");
        if (at != std::string::npos) lineTwo.replace(at, 3, "kdpack sha256 " + Hex(digest));
        std::string container;
        ASSERT_TRUE(codec::PackageEncoder().Encode("KELDO PACKAGE FILE\n" + lineTwo + "\n" + rest, container));
        ASSERT_TRUE(test::WriteFile(root / "setup/keldo_core.pkg", container));
    }
    static std::string Hex(const unsigned char (&digest)[platform::Sha256::DigestSize]) {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (unsigned char byte : digest) text += {digits[byte >> 4], digits[byte & 15]};
        return text;
    }

    std::string body;
};

TEST_F(KeyedInstallerRun, InstallsExactlyWhatItsKeysSigned) {
    const std::string a = OpensslSignature_a, b = OpensslSignature_b, other = OpensslSignature_other;
    std::string changed = body;
    changed[changed.size() / 2] ^= 1;
    std::string upperA = a, badHex = a;
    util::MakeUpper(upperA);
    badHex[7] = 'g';
    const struct {
        const char* name;
        std::string lineTwo;
        const std::string& signedText;
        const std::string& rest;
        bool installs;
    } rows[] = {
        {"key a", "{D} ecdsa-p256 " + a, body, body, true},
        {"key b, blanks and a tab", " {D}  ecdsa-p256 \t" + b + " ", body, body, true},
        {"upper-case hex", "{D} ecdsa-p256 " + upperA, body, body, true},
        {"one byte changed", "{D} ecdsa-p256 " + a, body, changed, false},
        {"signature of another digest", "{D} ecdsa-p256 " + a, changed, changed, false},
        {"another key", "{D} ecdsa-p256 " + other, body, body, false},
        {"no signature", "{D}", body, body, false},
        {"bad hex", "{D} ecdsa-p256 " + badHex, body, body, false},
        {"tag in upper case", "{D} ECDSA-P256 " + a, body, body, false},
        {"free text", "written by the end-to-end tests", body, body, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PackCore(row.lineTwo, row.signedText, row.rest);
        const std::string destination = W(root / "dest");
        const RunResult run = Run(destination + "\n\n\n");
        const std::string head = Start + Ask("c:\\keldo") + Confirm(destination) + "\n\nInstalling KELDO in " +
                                 destination + " directory\nThis may take a few minutes..." + Progress(CorePath(), {});
        if (row.installs) {
            EXPECT_EQ(run.output, head + "\nDirectory Bin" + Progress(WindowPath(), {"window"}) +
                                      "\nUpdating environment...\nRegistering the Keldo service..." +
                                      "\n\nInstallation terminated successfully\n" + Restart + Enter);
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_TRUE(test::ReadFile(root / "dest/Bin/kds.exe") == kds);
            EXPECT_EQ(test::ReadFile(root / "dest/window/keldo.cfg"), "width = 800\n");
        } else {
            EXPECT_EQ(run.output, head + "\nError: Bad package file " + CorePath() + Failed + Enter);
            EXPECT_EQ(run.exitCode, -1);
            EXPECT_EQ(test::ListTree(root / "dest"), std::vector<std::string>{});
        }
        DeleteValue("KELDO");
        WriteValue("PATH", 2, BasePath);
        fs::remove_all(fs::path(root / "dest"));
    }
}

}  // namespace
}  // namespace kd::e2e
