// RunCommand and RegisterService, with this suite's own binary as the child.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "driver/command.h"
#include "driver_test_support.h"
#include "platform/platform.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

namespace fs = std::filesystem;
using test::SetEnvironment;
using test::TempDir;

std::string Quoted(const std::string& path) {
    std::string quoted = "\"";
    return quoted.append(path).append("\"");
}

struct WorkingDirectoryCase {
    const char* commandLine;
    const char* expected;
};

TEST(CommandWorkingDirectory, FollowsTheProgramPart) {
    const WorkingDirectoryCase cases[] = {
        {"\"C:\\Program Files\\Keldo\\Bin\\kds.exe\" -i", "C:\\Program Files\\Keldo\\Bin"},
        {"'C:\\My Dir\\p.exe' a", "C:\\My Dir"},
        {"'C:\\x\\a\"b\\c\\p.exe' x", "C:\\x"},   // a closing " is looked for first
        {"\"C:\\x y\\p.exe", "C:\\x y"},            // no closing quote
        {"C:\\Program Files\\Keldo\\kds.exe -i", "C:"},  // unquoted: cut at the first blank
        {"C:/tools/p.exe -x", "C:/tools"},          // slashes when there is no backslash
        {"C:/a\\b/p.exe", "C:/a"},                  // the last backslash wins over slashes
        {"kds.exe -i", "D:\\cwd\\"},               // no separator: the current directory
        {"\"kds.exe\"", "D:\\cwd\\"},
        // An apostrophe inside a double-quoted path belongs to a name.
        {"\"C:\\Users\\O'Neil\\Bin\\kds.exe\" -i", "C:\\Users\\O'Neil\\Bin"},
    };
    for (const WorkingDirectoryCase& c : cases) {
        EXPECT_EQ(driver::CommandWorkingDirectory(c.commandLine, "D:\\cwd"), c.expected) << c.commandLine;
    }
    EXPECT_EQ(driver::CommandWorkingDirectory("p.exe", "D:\\"), "D:\\");
}

// Runs this binary as a child in the given mode; restores the environment.
class RunCommandTest : public testing::Test {
protected:
    void TearDown() override { SetEnvironment(test::ChildModeVariable, nullptr); }

    static void Mode(const std::string& mode) { SetEnvironment(test::ChildModeVariable, mode.c_str()); }

    // A copy of this binary at `relative` below the temporary directory.
    std::string Child(const std::string& relative) {
        const fs::path target = fs::path(root / relative);
        fs::create_directories(target.parent_path());
        fs::copy_file(platform::ProgramPath(), target, fs::copy_options::overwrite_existing);
        return root / relative;
    }

    // The records the child wrote: one vector of lines per run.
    std::vector<std::vector<std::string>> Records() {
        std::vector<std::vector<std::string>> runs(1);
        const std::string text = test::ReadFile(recordFile);
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            const std::string line = text.substr(start, end - start);
            if (line == "end") {
                runs.emplace_back();
            } else {
                runs.back().push_back(line);
            }
            start = end == std::string::npos ? text.size() : end + 1;
        }
        runs.pop_back();
        return runs;
    }

    TempDir root;
    std::string recordFile = root / "record.txt";
    std::int32_t exitCode = 77;
};

TEST_F(RunCommandTest, RefusesAMissingOrBlankCommandLine) {
    EXPECT_EQ(driver::RunCommand(nullptr, exitCode, driver::WaitForever), driver::CommandFailed);
    EXPECT_EQ(exitCode, 0);
    exitCode = 77;
    EXPECT_EQ(driver::RunCommand(" \t  \r\n", exitCode, driver::WaitForever), driver::CommandFailed);
    EXPECT_EQ(exitCode, 0);
}

TEST_F(RunCommandTest, FailsWhenTheProgramCannotStart) {
    EXPECT_EQ(driver::RunCommand((Quoted(root / "missing.exe") + " -i").c_str(), exitCode, driver::WaitForever),
              driver::CommandFailed);
    EXPECT_EQ(exitCode, 0);
}

TEST_F(RunCommandTest, ReportsTheExitCode) {
    Mode("exit:3");
    const std::string child = Child("child.exe");
    EXPECT_EQ(driver::RunCommand(Quoted(child).c_str(), exitCode, driver::WaitForever), driver::CommandStarted);
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(driver::RunCommand(Quoted(child).c_str(), exitCode, 5), driver::CommandStarted);
    EXPECT_EQ(exitCode, 3);
}

TEST_F(RunCommandTest, AProgramEndingWithTheStillRunningCodeIsSeenToEnd) {
    // 259 is also the code that means "still running"; the wait must end anyway.
    Mode("exit:259");
    const std::string child = Child("child.exe");
    EXPECT_EQ(driver::RunCommand(Quoted(child).c_str(), exitCode, driver::WaitForever), driver::CommandStarted);
    EXPECT_EQ(exitCode, test::IsWindowsBuild() ? 259 : 259 % 256);  // POSIX keeps 8 bits
}

TEST_F(RunCommandTest, QuotedProgramWithBlanksRunsInItsDirectory) {
    Mode("record:" + recordFile);
    const std::string child = Child("dir with blanks\\child.exe");
    // Blanks collapse in the whole line, quoted arguments included.
    std::string line = "  ";
    line.append(Quoted(child)).append("   \"x  y\"\tz ");
    ASSERT_EQ(driver::RunCommand(line.c_str(), exitCode, driver::WaitForever), driver::CommandStarted);
    const auto runs = Records();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"cwd=" + (root / "dir with blanks"), "arg=x y",
                                                 "arg=z"}));
}

TEST_F(RunCommandTest, BareProgramNameRunsInTheCurrentDirectory) {
    Mode("record:" + recordFile);
    Child("bare\\child.exe");
    const auto saved = fs::current_path();
    fs::current_path(root / "bare");
    const int result = driver::RunCommand("child.exe -i", exitCode, driver::WaitForever);
    fs::current_path(saved);
    ASSERT_EQ(result, driver::CommandStarted);
    const auto runs = Records();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"cwd=" + (root / "bare"), "arg=-i"}));
}

TEST_F(RunCommandTest, ZeroLimitReturnsAndLeavesTheProcessRunning) {
    const std::string stop = root / "stop", done = root / "done";
    Mode("wait:" + stop + "|" + done);
    const std::string child = Child("child.exe");
    EXPECT_EQ(driver::RunCommand(Quoted(child).c_str(), exitCode, driver::DoNotWait), driver::CommandStarted);
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(test::IsFile(done));
    ASSERT_TRUE(test::WriteFile(stop, ""));
    for (int i = 0; i < 300 && !test::IsFile(done); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(test::IsFile(done)) << "the child did not go on running";
}

TEST_F(RunCommandTest, TwoSecondLimitTerminatesTheProcess) {
    Mode("sleep");
    const std::string child = Child("child.exe");
    test::FakeClock clock;
    const std::int64_t start = platform::Now();
    EXPECT_EQ(driver::RunCommand(Quoted(child).c_str(), exitCode, 2), driver::CommandTimedOut);
    EXPECT_EQ(exitCode, 0);
    // Terminated only once more than 2 whole seconds have passed, at the
    // first poll after that (each one a little longer than the last).
    EXPECT_GE(platform::Now() - start, 3000);
    EXPECT_LT(platform::Now() - start, 3500);
}

class RegisterServiceTest : public RunCommandTest {
protected:
    bool Register(const std::string& bin, bool changed) {
        test::ScriptedConsole console("");
        const bool result = driver::RegisterService(console.Get(), bin, changed);
        EXPECT_EQ(console.Output(), "\nRegistering the Keldo service...");
        return result;
    }
    std::vector<std::string> Run(const std::string& bin, const char* argument) {
        return {"cwd=" + bin, std::string("arg=") + argument};
    }
};

TEST_F(RegisterServiceTest, ChangedDestinationRemovesThenInstalls) {
    Mode("record:" + recordFile);
    Child("Program Files\\Keldo\\Bin\\kds.exe");
    const std::string bin = root / "Program Files\\Keldo\\Bin";
    ASSERT_TRUE(Register(bin, true));
    EXPECT_EQ(Records(), (std::vector<std::vector<std::string>>{Run(bin, "-r"), Run(bin, "-i")}));
}

TEST_F(RegisterServiceTest, ApostropheInTheDestinationStaysInThePath) {
    Mode("record:" + recordFile);
    Child("O'Neil Keldo\\Bin\\kds.exe");
    const std::string bin = root / "O'Neil Keldo\\Bin";
    ASSERT_TRUE(Register(bin, false));
    EXPECT_EQ(Records(), (std::vector<std::vector<std::string>>{Run(bin, "-i")}));
}

TEST_F(RegisterServiceTest, SameDestinationOnlyInstalls) {
    Mode("record:" + recordFile);
    Child("Keldo\\Bin\\kds.exe");
    const std::string bin = root / "Keldo\\Bin";
    ASSERT_TRUE(Register(bin, false));
    EXPECT_EQ(Records(), (std::vector<std::vector<std::string>>{Run(bin, "-i")}));
}

TEST_F(RegisterServiceTest, OnlyStartingCountsNotTheExitCode) {
    Mode("exit:7");
    Child("Keldo\\Bin\\kds.exe");
    EXPECT_TRUE(Register(root / "Keldo\\Bin", true));
    EXPECT_FALSE(Register(root / "Other\\Bin", true));  // no kds.exe there
}

}  // namespace
}  // namespace kd
