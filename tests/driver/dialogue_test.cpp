// The start of a run: installer directory, default destination, the
// scripted dialogue, the change test and the running-server check. Package
// location is covered by the end-to-end runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/dialogue.h"
#include "driver/installer.h"
#include "driver/server.h"
#include "driver_test_support.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

using test::ScriptedConsole;
using test::TempDir;

struct DirectoryCase {
    const char* programPath;
    const char* currentDirectory;
    const char* expected;
};

TEST(InstallerDirectory, CutsAtTheLastProgramNameOrUsesTheCurrentDirectory) {
    const DirectoryCase cases[] = {
        {"kdinstall", "C:\\setup", "C:\\setup\\"},                  // cut leaves nothing
        {"D:\\Setup\\KdInstall.exe", "C:\\cwd", "D:\\Setup\\"},     // case ignored, kept
        {"D:\\kdinstall\\kdinstall.exe", "C:\\cwd", "D:\\kdinstall\\"},  // last occurrence
        {"D:\\Setup\\setup.exe", "C:\\cwd", "C:\\cwd\\"},           // no name at all
        {"C:\\kdinstall-1.0\\setup.exe", "C:\\cwd", "C:\\"},          // cut inside a directory's name
        {"D:\\Tools\\mykdinstall.exe", "C:\\cwd", "D:\\Tools\\my\\"},
        {"setup.exe", "D:\\", "D:\\"},                              // root keeps one backslash
        {"kdinstall.exe", "", ""},                                  // no current directory
    };
    for (const DirectoryCase& c : cases) {
        EXPECT_EQ(driver::InstallerDirectory(c.programPath, c.currentDirectory), c.expected) << c.programPath;
    }
}

TEST(InstallerDirectory, KeepsAProgramPathOfAnyLength) {
    const std::string directory = "E:\\" + std::string(5000, 'd');
    EXPECT_EQ(driver::InstallerDirectory(directory + "\\kdinstall.exe", "C:\\"), directory + "\\");
}

TEST(DefaultDestination, ComesFromKeldoNormalisedOrIsTheFixedOne) {
    EXPECT_EQ(driver::DefaultDestination(nullptr), "c:\\keldo");
    EXPECT_EQ(driver::DefaultDestination(""), "c:\\keldo");
    EXPECT_EQ(driver::DefaultDestination(" \t "), "c:\\keldo");
    EXPECT_EQ(driver::DefaultDestination("\\"), "c:\\keldo");
    EXPECT_EQ(driver::DefaultDestination("D:/Apps/Keldo/"), "D:\\Apps\\Keldo");
    EXPECT_EQ(driver::DefaultDestination("  D:\\My   Keldo\\ "), "D:\\My Keldo");
}

TEST(DestinationChanged, ComparesEveryByteOfTheTrimmedPreviousDirectory) {
    EXPECT_TRUE(driver::IsDestinationChanged("", "c:\\keldo"));
    EXPECT_FALSE(driver::IsDestinationChanged("D:\\Keldo", "D:\\Keldo"));
    EXPECT_FALSE(driver::IsDestinationChanged("  D:\\Keldo\\ ", "D:\\Keldo"));
    EXPECT_TRUE(driver::IsDestinationChanged("D:\\Keldo", "d:\\keldo"));           // case counts
    EXPECT_TRUE(driver::IsDestinationChanged("D:/Apps/Keldo/", "D:\\Apps\\Keldo"));  // slashes count
}

// The prompts as printed.
std::string Ask(const std::string& defaultDestination) {
    return "\n\nPlease enter KELDO destination directory (" + defaultDestination + ") => ";
}
std::string Confirm(const std::string& candidate) {
    return "\n\nConfirm destination directory " + candidate + " (y/n/q) => ";
}

const std::string NotFull = "\nThe destination must be a full path, such as c:\\keldo";
const std::string TooLong = "\nThe answer is too long";

struct DialogueCase {
    const char* name;
    std::string script;
    driver::DialogueResult result;
    std::string destination;  // when confirmed
    std::string output;
    std::string defaultDestination = "D:\\Keldo";
};

TEST(Dialogue, AnswersDecideTheDestinationOrQuit) {
    const std::string def = "D:\\Keldo";
    // Answers of exactly the longest length, and one byte more.
    const std::string longest = "E:\\" + std::string(util::LongestAnswer - 3, 'e');
    const std::string longer = longest + "e";
    const std::string yes(util::LongestAnswer, 'y');
    const std::string manyX(3000, 'x'), manyQ(3000, 'q');
    using namespace std::string_literals;
    // "E:\k", "y" and an empty line as a UTF-16 answer file writes them: every
    // line after the first starts with a NUL.
    std::string utf16;
    for (const char c : "E:\\k\r\ny\r\n\r\n"s) utf16 += c + "\0"s;
    // "\keldo" is relative to the current drive on Windows; the stand-in has one tree.
    const bool rootedIsFull = !test::IsWindowsBuild();
    const std::string refused = Ask(def) + NotFull + Ask(def) + Confirm(def);  // then the default
    // A UTF-8 answer file: the Windows build takes it into code page 1252
    // (Wine's, for the C locale), which holds "é" but no Cyrillic letter; the
    // stand-in keeps the bytes.
    const bool windows = test::IsWindowsBuild();
    const std::string mark = "\xEF\xBB\xBF", cafe = windows ? "E:\\caf\xE9" : "E:\\caf\xC3\xA9";
    const std::string cyrillic = "E:\\\xD0\x9F";
    const std::string codePage = "\nThe answer holds a character this computer's code page cannot hold";
    const DialogueCase cases[] = {
        {"defaults", "\n\n", driver::DialogueResult::Confirmed, def, Ask(def) + Confirm(def)},
        {"yes words", "E:\\x\nyellow\n", driver::DialogueResult::Confirmed, "E:\\x", Ask(def) + Confirm("E:\\x")},
        {"slashes", "d:/data/keldo/\ny\n", driver::DialogueResult::Confirmed, "d:\\data\\keldo",
         Ask(def) + Confirm("d:\\data\\keldo")},
        {"blanks", "  e:\\my   dir \t\n\n", driver::DialogueResult::Confirmed, "e:\\my dir",
         Ask(def) + Confirm("e:\\my dir")},
        {"percent", "e:\\100%s %d\n\n", driver::DialogueResult::Confirmed, "e:\\100%s %d",
         Ask(def) + Confirm("e:\\100%s %d")},
        {"no asks again", "e:\\one\nn\n\nY\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + Confirm("e:\\one") + Ask(def) + Confirm(def)},
        {"q", "q\n", driver::DialogueResult::Quit, "", Ask(def)},
        {"spaced Q", "   Q\n", driver::DialogueResult::Quit, "", Ask(def)},
        {"quit", "quit\n", driver::DialogueResult::Quit, "", Ask(def)},
        {"q drive", "q:\\dir\n", driver::DialogueResult::Quit, "", Ask(def)},
        {"q at confirm", "\nq\n", driver::DialogueResult::Quit, "", Ask(def) + Confirm(def)},
        {"no input", "", driver::DialogueResult::Quit, "", Ask(def)},
        {"end at confirm", "e:\\x\n", driver::DialogueResult::Quit, "", Ask(def) + Confirm("e:\\x")},
        {"end after no", "\nno\n", driver::DialogueResult::Quit, "", Ask(def) + Confirm(def) + Ask(def)},
        {"last line unended", "\ny", driver::DialogueResult::Confirmed, def, Ask(def) + Confirm(def)},
        // Only full paths are destinations; the first question is asked again.
        {"relative", "keldo\n\n\n", driver::DialogueResult::Confirmed, def, Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"one letter", "y\n\n\n", driver::DialogueResult::Confirmed, def, Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"dot relative", ".\\keldo\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"drive relative", "c:keldo\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"bare drive", "c:\\\n\n\n", driver::DialogueResult::Confirmed, def, Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"bare drive with slash", "c:/\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"drive without letter", "1:\\keldo\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"device", "\\\\.\\c:\\keldo\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"verbatim", "\\\\?\\c:\\keldo\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"server without share", "\\\\server\\\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"empty server", "\\\\\\share\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"network share", "//server/share/keldo\n\n", driver::DialogueResult::Confirmed, "\\\\server\\share\\keldo",
         Ask(def) + Confirm("\\\\server\\share\\keldo")},
        {"drive root child", "c:\\k\n\n", driver::DialogueResult::Confirmed, "c:\\k", Ask(def) + Confirm("c:\\k")},
        {"root relative", "\\keldo\n\n\n", driver::DialogueResult::Confirmed, rootedIsFull ? "\\keldo" : def,
         rootedIsFull ? Ask(def) + Confirm("\\keldo") : Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"refused default", "\n\nq\n", driver::DialogueResult::Quit, "", Ask("y") + NotFull + Ask("y") + NotFull + Ask("y"),
         "y"},
        {"refused default replaced", "\nE:\\k\n\n", driver::DialogueResult::Confirmed, "E:\\k",
         Ask("keldo") + NotFull + Ask("keldo") + Confirm("E:\\k"), "keldo"},
        {"refused then end", "c:\n", driver::DialogueResult::Quit, "", Ask(def) + NotFull + Ask(def)},
        // Windows drops "." and "..", ending dots and blanks; opens devices; reads a later ":" as a stream.
        {"dot", "c:\\keldo\\.\\x\n\n\n", driver::DialogueResult::Confirmed, def, refused},
        {"dot dot", "c:\\kdA/.. /..\n\n\n", driver::DialogueResult::Confirmed, def, refused},
        {"ends in a dot", "c:\\keldo.\n\n\n", driver::DialogueResult::Confirmed, def, refused},
        {"blank before separator", "c:\\keldo \\x\n\n\n", driver::DialogueResult::Confirmed, def, refused},
        {"device", "c:\\keldo\\CON\n\n\n", driver::DialogueResult::Confirmed, def, refused},
        {"stream", "c:\\keldo:x\n\n\n", driver::DialogueResult::Confirmed, def, refused},
        {"dots inside names", "c:\\k.1\\.x\n\n", driver::DialogueResult::Confirmed, "c:\\k.1\\.x", Ask(def) + Confirm("c:\\k.1\\.x")},
        {"default ends in a dot", "\nE:\\k\n\n", driver::DialogueResult::Confirmed, "E:\\k", Ask("c:\\k.") + NotFull + Ask("c:\\k.") + Confirm("E:\\k"), "c:\\k."},
        // ";" splits a PATH entry; a NUL is kept, so no part of the line is taken for the answer.
        {"semicolon", "c:\\a;b\n\n\n", driver::DialogueResult::Confirmed, def, Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"NUL first at confirm", "\n\0y\nE:\\k\n\n"s, driver::DialogueResult::Confirmed, "E:\\k",
         Ask(def) + Confirm(def) + Ask(def) + Confirm("E:\\k")},
        {"UTF-16 answer file", utf16, driver::DialogueResult::Quit, "",
         Ask(def) + NotFull + Ask(def) + NotFull + Ask(def) + NotFull + Ask(def) + NotFull + Ask(def)},
        // An over-long line is one answer: refused at the first question,
        // "anything else" at the confirmation; its tail is never an answer.
        {"longest answer", longest + "\n\n", driver::DialogueResult::Confirmed, longest, Ask(def) + Confirm(longest)},
        {"answer too long", longer + "\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + TooLong + Ask(def) + Confirm(def)},
        {"3000 bytes then y", manyX + "\ny\nE:\\k\ny\n", driver::DialogueResult::Confirmed, "E:\\k",
         Ask(def) + TooLong + Ask(def) + NotFull + Ask(def) + Confirm("E:\\k")},
        {"too long q", manyQ + "\nq\n", driver::DialogueResult::Quit, "", Ask(def) + TooLong + Ask(def)},
        {"too long unended", longer, driver::DialogueResult::Quit, "", Ask(def) + TooLong + Ask(def)},
        {"longest confirmation", "\n" + yes + "\n", driver::DialogueResult::Confirmed, def, Ask(def) + Confirm(def)},
        {"confirmation too long", "\n" + yes + "y\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + Confirm(def) + Ask(def) + Confirm(def)},
        {"confirmation of 3000 q", "\n" + manyQ + "\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + Confirm(def) + Ask(def) + Confirm(def)},
        {"UTF-8 mark", mark + "E:\\k\ny\n", driver::DialogueResult::Confirmed, "E:\\k", Ask(def) + Confirm("E:\\k")},
        {"UTF-8 letter", mark + "E:\\caf\xC3\xA9\n\n", driver::DialogueResult::Confirmed, cafe, Ask(def) + Confirm(cafe)},
        {"UTF-8 letter not in the code page", mark + cyrillic + "\n\n\n", driver::DialogueResult::Confirmed,
         windows ? def : cyrillic,
         windows ? Ask(def) + codePage + Ask(def) + Confirm(def) : Ask(def) + Confirm(cyrillic)},
        {"UTF-8 mark later is an answer's bytes", "E:\\k\n" + mark + "y\n", driver::DialogueResult::Quit, "",
         Ask(def) + Confirm("E:\\k") + Ask(def)},
        {"part of a mark", "\xEF\xBB\n\n\n", driver::DialogueResult::Confirmed, def,
         Ask(def) + NotFull + Ask(def) + Confirm(def)},
        {"CR counts toward the length", std::string(util::LongestAnswer, 'x') + "\r\n\n\n", driver::DialogueResult::Confirmed,
         def, Ask(def) + TooLong + Ask(def) + Confirm(def)},
    };
    for (const DialogueCase& c : cases) {
        ScriptedConsole console(c.script);
        std::string destination;
        EXPECT_EQ(driver::AskDestination(console.Get(), c.defaultDestination, destination), c.result) << c.name;
        if (c.result == driver::DialogueResult::Confirmed) {
            EXPECT_EQ(destination, c.destination) << c.name;
        }
        EXPECT_EQ(console.Output(), c.output) << c.name;
    }
}

TEST(Dialogue, ShowsADefaultOfAnyLengthWhole) {
    const std::string def = "D:\\" + std::string(6000, 'k');
    ScriptedConsole console("\n\n");
    std::string destination;
    EXPECT_EQ(driver::AskDestination(console.Get(), def, destination), driver::DialogueResult::Confirmed);
    EXPECT_EQ(destination, def);
    EXPECT_EQ(console.Output(), Ask(def) + Confirm(def));
}

TEST(EndRun, PrintsItsLinesAndWaitsForOneLine) {
    ScriptedConsole console("anything\nleft over\n");
    EXPECT_EQ(driver::EndRun(console.Get(), {"\nA %s", "\nB\n"}, -1), -1);
    EXPECT_EQ(console.Output(), "\nA %s\nB\n\n\nPress enter to continue");
    std::string rest;
    ASSERT_EQ(util::ReadConsoleLine(console.Get(), rest), util::LineRead::Ok);
    EXPECT_EQ(rest, "left over");  // exactly one line was taken

    ScriptedConsole closed("");
    EXPECT_EQ(driver::EndRun(closed.Get(), {}, 0), 0);  // the end of input ends the wait
}

// A run without an elevated token ends before anything is looked for or asked.
TEST(Elevation, ComesFirst) {
    using platform::TokenAnswer;
    const std::string banner = "\n\nKELDO server installation";
    TempDir root;  // holds no package
    for (const auto answer : {TokenAnswer::Elevated, TokenAnswer::NotElevated, TokenAnswer::QueryFails}) {
        platform::SetTokenAnswer(answer);
        ScriptedConsole console("\n");
        EXPECT_EQ(driver::RunInstaller(console.Get(), root / "kdinstall", nullptr), driver::ExitFailure);
        platform::SetTokenAnswer(TokenAnswer::System);
        if (answer == TokenAnswer::Elevated) {
            EXPECT_EQ(console.Output().rfind(banner + "\nCannot find ", 0), 0u) << console.Output();
        } else {
            EXPECT_EQ(console.Output(), banner + "\nError: kdinstall must be run as an administrator"
                                                 "\n\nInstallation failed\n\n\nPress enter to continue");
        }
    }
}

class ServerCheckTest : public testing::Test {
protected:
    void Marker(const std::string& directory) {
        std::filesystem::create_directories(std::filesystem::path(directory) / "Bin");
        ASSERT_TRUE(test::WriteFile((std::filesystem::path(directory) / "Bin" / "keldo.run").string(), ""));
    }
    TempDir root;
};

TEST_F(ServerCheckTest, LooksForTheMarkerOfThePreviousInstallation) {
    EXPECT_FALSE(driver::IsServerRunning(""));
    EXPECT_FALSE(driver::IsServerRunning(root.Path()));
    Marker(root.Path());
    EXPECT_TRUE(driver::IsServerRunning(root.Path()));
    EXPECT_TRUE(driver::IsServerRunning(root.Path() + "\\"));            // no doubled separator
    EXPECT_TRUE(driver::IsServerRunning("  " + root.Path() + " \t"));    // trimmed first
}

TEST_F(ServerCheckTest, BlanksOnlyLookInTheCurrentDirectory) {
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(root.Path());
    const bool without = driver::IsServerRunning("   ");
    Marker(root.Path());
    const bool with = driver::IsServerRunning("   ");
    std::filesystem::current_path(saved);
    EXPECT_FALSE(without);
    EXPECT_TRUE(with);
}

}  // namespace
}  // namespace kd
