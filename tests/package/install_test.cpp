// Install as a whole: the destination, the temporary script file, the
// header, progress output, and one object serving several calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "codec/encoder.h"
#include "package_support.h"
#include "platform/platform.h"
#include "support/planted.h"

namespace kd::test {
namespace {

TEST(Install, WithoutPackagePathTouchesNothing) {
    Installation run;
    EXPECT_FALSE(run.package.Install(nullptr, run.destination.c_str(), true));
    EXPECT_EQ(run.console.Output(), "");
    EXPECT_EQ(run.package.errorText, "No package file");
    EXPECT_FALSE(IsDirectory(run.destination));
}

TEST(Install, MissingPackageFile) {
    Installation run;
    EXPECT_FALSE(run.package.Install(run.packagePath, run.destination, true));
    EXPECT_EQ(run.console.Output(),
              "\nInstalling package " + run.packagePath + "\nUncompressing package file");
    EXPECT_EQ(run.package.errorText, "Cannot decompress package file");
    EXPECT_TRUE(IsDirectory(run.destination));
    EXPECT_FALSE(HasTemporaryFile(run.dir.Path()));
}

TEST(Install, DestinationIsCreatedOnlyOneLevelDeep) {
    Installation run;
    ASSERT_TRUE(WritePackage(run.packagePath, Head));
    const std::string destination = run.dir / "missing/dest";
    EXPECT_FALSE(run.package.Install(run.packagePath, destination + "\\", false));
    EXPECT_EQ(run.package.errorText, "cannot create target directory: " + destination);
    EXPECT_FALSE(IsDirectory(run.dir / "missing"));

    // Blanks around it and a trailing separator are not part of it.
    EXPECT_TRUE(run.package.Install(run.packagePath, " " + run.destination + "\\ ", false))
        << run.package.errorText;
    EXPECT_TRUE(IsDirectory(run.destination));
}

// A destination the installer makes is closed to other users from the start;
// one that exists is closed before anything is written, and refused when
// others could rename it away (the stand-in: a parent open to all without
// its sticky bit).
TEST(Install, CreatedDestinationIsClosedToOthers) {
    Installation run;
    const unsigned umask = SetUmask(0);
    const bool ok = run.Install(Head + "[DIR]\nName = Bin\n");
    SetUmask(umask);
    ASSERT_TRUE(ok) << run.package.errorText;
    EXPECT_EQ(OtherWriters(run.destination), std::vector<std::string>{});
    if (IsWindowsBuild()) {
        // What is made inside inherits the destination's entries.
        EXPECT_EQ(OtherWriters(run.destination + "/Bin"), std::vector<std::string>{});
    } else {
        EXPECT_EQ(std::filesystem::status(run.destination).permissions(),
                  std::filesystem::perms(0755));
    }

    const std::string existing = run.dir / "existing";
    std::filesystem::create_directory(existing);
    std::filesystem::permissions(existing, std::filesystem::perms::all);
    ASSERT_TRUE(WriteFile(existing + "/old.txt", "x"));
    std::filesystem::permissions(existing + "/old.txt", std::filesystem::perms::all);
    EXPECT_TRUE(run.package.Install(run.packagePath, existing, false)) << run.package.errorText;
    EXPECT_EQ(OtherWriters(existing), std::vector<std::string>{});
    EXPECT_EQ(OtherWriters(existing + "/old.txt"), std::vector<std::string>{});
    if (IsWindowsBuild()) return;
    std::filesystem::permissions(run.dir.Path(), std::filesystem::perms::all);
    EXPECT_FALSE(run.package.Install(run.packagePath, existing, false));
    EXPECT_EQ(run.package.errorText, "cannot use target directory: " + existing);
    std::filesystem::permissions(run.dir.Path(), std::filesystem::perms::sticky_bit,
                                 std::filesystem::perm_options::add);
    EXPECT_TRUE(run.package.Install(run.packagePath, existing, false)) << run.package.errorText;
}

// The decompressed script is the installing account's alone while the
// commands run: nobody else can change what was checked.
TEST(Install, ScriptIsPrivateWhileTheCommandsRun) {
    if (!CanPlantLinks() || IsWindowsBuild()) GTEST_SKIP() << "needs another uid: natively as root";
    Installation run;
    // A converted file keeps who may read it, its converted copy too.
    std::filesystem::create_directory(run.destination);
    ASSERT_TRUE(WriteFile(run.destination + "/p.txt", "a\n"));
    std::filesystem::permissions(run.destination + "/p.txt", std::filesystem::perms(0600));
    int checked = 0;
    platform::SetStepCallback([&](platform::Step step, const std::string& name) {
        if (step == platform::Step::WriteBack && name == "p.txt" && ++checked) {
            EXPECT_EQ(std::filesystem::status(run.destination + "/p.txt.kd_temp").permissions(),
                      std::filesystem::perms(0600));
        }
        if (step != platform::Step::Create || name != "a.dat") return;
        ++checked;
        EXPECT_FALSE(OtherUserCanWrite(run.destination + "/core.pkg.kd_temp"));
    });
    const unsigned umask = SetUmask(0);
    EXPECT_TRUE(run.Install(Head + "[DIR]\nName = \n[FILE]\nName = a.dat\nSize = 1\nx\n[TEXTFILE]\nName = p.txt\n"));
    SetUmask(umask);
    platform::SetStepCallback(nullptr);
    EXPECT_EQ(checked, 2);
    EXPECT_EQ(std::filesystem::status(run.destination + "/p.txt").permissions(), std::filesystem::perms(0600));
}

TEST(Install, TruncatedPackage) {
    Installation run;
    std::string container;
    ASSERT_TRUE(codec::PackageEncoder().Encode(Head + "[DIR]\nName = a\n" + std::string(4000, 'x'),
                                        container));
    ASSERT_TRUE(WriteFile(run.packagePath, container.substr(0, container.size() / 2)));
    EXPECT_FALSE(run.package.Install(run.packagePath, run.destination, false));
    EXPECT_EQ(run.package.errorText, "Cannot decompress package file");
    EXPECT_TRUE(run.Installed().empty());
}

TEST(Install, DestinationThatIsAFile) {
    Installation run;
    ASSERT_TRUE(WritePackage(run.packagePath, Head));
    ASSERT_TRUE(WriteFile(run.destination, "a file"));
    EXPECT_FALSE(run.package.Install(run.packagePath, run.destination, false));
    EXPECT_EQ(run.package.errorText, "Cannot decompress package file");
    EXPECT_EQ(ReadFile(run.destination), "a file");
}

TEST(Install, TemporaryFileIsNamedAfterThePackageInTheDestination) {
    Installation run;
    ASSERT_TRUE(WritePackage(run.packagePath, Head));
    // A directory in the way of the temporary file, not empty so that it
    // cannot be removed to make room: the decompression fails.
    std::filesystem::create_directories(run.destination + "/core.pkg.kd_temp");
    ASSERT_TRUE(WriteFile(run.destination + "/core.pkg.kd_temp/inner", ""));
    EXPECT_FALSE(run.package.Install(run.packagePath, run.destination, false));
    EXPECT_EQ(run.package.errorText, "Cannot decompress package file");
    std::filesystem::remove_all(run.destination + "/core.pkg.kd_temp");
    EXPECT_TRUE(run.package.Install(run.packagePath, run.destination, false));
}

// The script copy is named after the last level of the package path, "/" or
// "\\" whichever comes last, and made directly in the destination: never in
// its parent, where another user could block it.
TEST(Install, ScriptCopyIsMadeInTheDestinationWhateverTheSeparators) {
    for (const char* spelling : {"/pkg\\core.pkg", "\\pkg/core.pkg", "/pkg/../pkg\\core.pkg"}) {
        SCOPED_TRACE(spelling);
        Installation run;
        std::filesystem::create_directories(run.dir / "pkg");
        ASSERT_TRUE(WritePackage(run.dir / "pkg/core.pkg", Head));
        EXPECT_TRUE(run.package.Install((run.dir.Path() + spelling).c_str(), run.destination, false))
            << run.package.errorText;
        EXPECT_EQ(ListTree(run.dir.Path()), (std::vector<std::string>{"dest/", "pkg/", "pkg/core.pkg"}));
    }
}

// An interrupt while the package is decompressed removes the script copy and
// ends the run with the installer's failure status.
TEST(Install, InterruptRemovesTheScriptCopy) {
    if (IsWindowsBuild()) GTEST_SKIP() << "signals are the POSIX stand-in's; Windows runs a console handler";
    for (const int signal : {2 /* SIGINT */, 15 /* SIGTERM */}) {
        SCOPED_TRACE(signal);
        Installation run;
        // Large enough that the copy is seen before the decoder is done.
        ASSERT_TRUE(WritePackage(run.packagePath, Head + "[DIR]\nName = \n[FILE]\nName = big\nSize = 200000000\n" +
                                                      std::string(200000000, 'x')));
        const std::string copy = run.destination + "/core.pkg.kd_temp";
        const int status = InterruptChild([&] { run.package.Install(run.packagePath, run.destination, false); },
                                          [&] { return IsFile(copy); }, signal);
        EXPECT_EQ(status, 255);
        EXPECT_EQ(ListTree(run.destination), std::vector<std::string>{});
    }
}

struct HeaderCase {
    std::string name;
    std::string script;
    bool accepted;
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, IsCheckedAfterNormalisation) {
    Installation run;
    const bool ok = run.Install(GetParam().script);
    EXPECT_EQ(ok, GetParam().accepted);
    EXPECT_EQ(run.package.errorText, ok ? "" : "Bad package file " + run.packagePath);
    EXPECT_TRUE(run.Installed().empty());
    EXPECT_FALSE(HasTemporaryFile(run.dir.Path()));
}

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderTest,
    testing::ValuesIn(std::vector<HeaderCase>{
        {"Plain", "KELDO PACKAGE FILE\nx\n", true},
        {"DoubleBlank", "KELDO  PACKAGE FILE\nx\n", true},
        {"LeadingTab", "\tKELDO PACKAGE FILE\nx\n", true},
        {"TrailingBlanksCrLf", "KELDO PACKAGE FILE   \r\nx", true},
        {"SecondLineEmpty", "KELDO PACKAGE FILE\n\n", true},
        {"LowerCase", "keldo package file\nx\n", false},
        {"MoreText", "KELDO PACKAGE FILE 2\nx\n", false},
        {"WordsJoined", "KELDO PACKAGEFILE\nx\n", false},
        {"ByteOrderMark", "\xEF\xBB\xBFKELDO PACKAGE FILE\nx\n", false},
        {"NoSecondLine", "KELDO PACKAGE FILE\n", false},
        {"NoLineEndAtAll", "KELDO PACKAGE FILE", false},
        {"CommandInsteadOfHeader", "[DIR]\nName = a\n", false},
        {"ZeroByteFirst", std::string("\0KELDO PACKAGE FILE\nx\n", 22), false},
    }),
    [](const testing::TestParamInfo<HeaderCase>& info) { return info.param.name; });

TEST(InstallProgress, LinesInOrder) {
    Installation run;
    EXPECT_TRUE(run.Install(Head + "[DIR]\nName = a/b\\c\n[DIR]\nName = \n", true));
    EXPECT_EQ(run.console.Output(), "\nInstalling package " + run.packagePath +
                                    "\nUncompressing package file\nVerifying package"
                                    "\nDirectory a\\b\\c\nDirectory ");
}

TEST(InstallProgress, NothingWithoutIt) {
    Installation run;
    EXPECT_TRUE(run.Install(Head + "[DIR]\nName = a\n", false));
    EXPECT_FALSE(run.Install(Head + "[DIR]\nName = ../a\n", false));
    EXPECT_FALSE(run.package.Install(run.dir / "none.pkg", run.destination, false));
    EXPECT_EQ(run.console.Output(), "");
}

TEST(InstallProgress, PathsArePrintedAsTheyAre) {
    Installation run;
    const std::string packagePath = run.dir / "100%s%d%n.pkg";
    ASSERT_TRUE(WritePackage(packagePath, Head + "[DIR]\nName = %s%n\n"));
    EXPECT_TRUE(run.package.Install(packagePath, run.destination, true));
    EXPECT_EQ(run.console.Output(), "\nInstalling package " + packagePath +
                                    "\nUncompressing package file\nVerifying package"
                                    "\nDirectory %s%n");
}

TEST(Install, EachCallStartsAfresh) {
    Installation run;
    std::filesystem::create_directories(run.dir / "work");
    WorkingDirectory inWork(run.dir / "work");

    EXPECT_FALSE(run.Install(Head + "[DIR]\nName = first\n[FILE]\nName = no/x\nSize = 0\n"));
    EXPECT_EQ(run.package.errorText, run.Expand("Cannot create file {D}\\first\\no/x"));

    // No current directory from the first call: the name is relative to the
    // working directory.
    EXPECT_TRUE(run.Install(Head + "[FILE]\nName = here\nSize = 2\nhi"));
    EXPECT_EQ(run.package.errorText, "");
    EXPECT_EQ(ReadFile(run.dir / "work/here"), "hi");
    EXPECT_FALSE(IsFile(run.destination + "/first/here"));
}

}  // namespace
}  // namespace kd::test
