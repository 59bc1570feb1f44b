// ConvertTextFile: the line-end table, zero bytes, split lines, and what
// each failure leaves of the target and of the temporary file.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "package_support.h"
#include "platform/platform.h"
#include "support/planted.h"

namespace kd::test {
namespace {

struct ConversionCase {
    std::string name;
    std::string before;
    std::string after;
};

void PrintTo(const ConversionCase& c, std::ostream* out) { *out << c.name; }

class ConversionTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTest, RewritesLineEnds) {
    TempDir dir;
    const std::string target = dir / "x.txt";
    ASSERT_TRUE(WriteFile(target, GetParam().before));
    // Who may read or write the target stays as it was.
    std::filesystem::permissions(target, std::filesystem::perms(0640));
    const auto mode = std::filesystem::status(target).permissions();
    package::KdPackage package;
    const unsigned umask = SetUmask(0);
    EXPECT_TRUE(package.ConvertTextFile(target)) << package.errorText;
    SetUmask(umask);
    EXPECT_EQ(std::filesystem::status(target).permissions(), mode);
    EXPECT_EQ(package.errorText, "");
    EXPECT_EQ(ReadFile(target), GetParam().after);
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
}

std::string Line(std::size_t length) { return std::string(length, 'x'); }

INSTANTIATE_TEST_SUITE_P(
    LineEnds, ConversionTest,
    testing::ValuesIn(std::vector<ConversionCase>{
        {"Lf", "a\nb\n", "a\r\nb\r\n"},
        {"CrLfUnchanged", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"CrCrLfKeepsOneCr", "a\r\r\nb", "a\r\r\nb\r\n"},
        {"NoFinalLineEnd", "a\nb", "a\r\nb\r\n"},
        {"Empty", "", ""},
        {"EmptyLines", "\n\r\n\n", "\r\n\r\n\r\n"},
        {"LoneCrIsNoLineEnd", "a\rb\r", "a\rb\r\n"},
        {"ZeroBytesKept", std::string("a\0b\n\0\nc\0", 8), std::string("a\0b\r\n\0\r\nc\0\r\n", 12)},
        {"LongLineSplit", Line(70000), Line(65534) + "\r\n" + Line(70000 - 65534) + "\r\n"},
        {"LongLineWithEndSplit", Line(65534) + "\n", Line(65534) + "\r\n\r\n"},
        {"LineThatFits", Line(65533) + "\n", Line(65533) + "\r\n"},
    }),
    [](const testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

TEST(ConvertTextFile, MissingTarget) {
    TempDir dir;
    package::KdPackage package;
    EXPECT_FALSE(package.ConvertTextFile(dir / "none.txt"));
    EXPECT_EQ(package.errorText, "Cannot open file " + (dir / "none.txt"));
    EXPECT_TRUE(ListTree(dir.Path()).empty());
}

TEST(ConvertTextFile, DirectoryAsTarget) {
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    package::KdPackage package;
    EXPECT_FALSE(package.ConvertTextFile(dir / "sub"));
    EXPECT_EQ(package.errorText, "Cannot open file " + (dir / "sub"));
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"sub/"});
}

TEST(ConvertTextFile, TemporaryFileCannotBeCreated) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "x.txt", "a\n"));
    // A directory that holds a file: it cannot be removed to make room.
    std::filesystem::create_directories(dir / "x.txt.kd_temp");
    ASSERT_TRUE(WriteFile(dir / "x.txt.kd_temp/inner", ""));
    package::KdPackage package;
    EXPECT_FALSE(package.ConvertTextFile(dir / "x.txt"));
    EXPECT_EQ(package.errorText, "Cannot open temporary file " + (dir / "x.txt.kd_temp"));
    EXPECT_EQ(ReadFile(dir / "x.txt"), "a\n");
}

TEST(ConvertTextFile, EarlierTemporaryFileIsOverwrittenAndRemoved) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "x.txt", "a\n"));
    ASSERT_TRUE(WriteFile(dir / "x.txt.kd_temp", "a much longer earlier content\n"));
    package::KdPackage package;
    EXPECT_TRUE(package.ConvertTextFile(dir / "x.txt"));
    EXPECT_EQ(ReadFile(dir / "x.txt"), "a\r\n");
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
}

TEST(ConvertTextFile, ReadOnlyTargetIsLeftAsItWas) {
    TempDir dir;
    const std::string target = dir / "x.txt";
    ASSERT_TRUE(WriteFile(target, "a\nb\n"));
    ASSERT_EQ(platform::SetReadOnly(target.c_str()), platform::Error::None);
    package::KdPackage package;
    EXPECT_FALSE(package.ConvertTextFile(target));
    EXPECT_EQ(package.errorText, "Cannot wricopyte file" + target + ".kd_temp -> " + target);
    EXPECT_EQ(ReadFile(target), "a\nb\n");
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
}

class ConvertFaults : public testing::Test {
protected:
    void TearDown() override { platform::ClearFaults(); }
    TempDir dir;
    std::string target = dir / "x.txt";
    std::string temporary = target + ".kd_temp";
    package::KdPackage package;
};

TEST_F(ConvertFaults, ShortWriteToTheTemporaryFile) {
    ASSERT_TRUE(WriteFile(target, "a\nb\n"));
    platform::InjectFault(platform::FaultPoint::Write, 2, platform::Error::DiskFull);
    EXPECT_FALSE(package.ConvertTextFile(target));
    EXPECT_EQ(package.errorText, "Cannot write file" + temporary);
    EXPECT_EQ(ReadFile(target), "a\nb\n");
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
}

TEST_F(ConvertFaults, OpensThatFail) {
    // The opens in order: temporary file, target.
    const std::vector<std::string> messages = {"Cannot open temporary file " + temporary,
                                               "Cannot open file " + target};
    for (std::size_t n = 1; n <= messages.size(); ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(WriteFile(target, "a\nb\n"));
        platform::InjectFault(platform::FaultPoint::Open, static_cast<int>(n),
                              platform::Error::AccessDenied);
        EXPECT_FALSE(package.ConvertTextFile(target));
        platform::ClearFaults();
        EXPECT_EQ(package.errorText, messages[n - 1]);
        EXPECT_EQ(ReadFile(target), "a\nb\n");
        EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
    }
}

// Every read is of the target, before anything replaces it: each failed one
// leaves the target as it was and no temporary file.
TEST_F(ConvertFaults, ReadsThatFail) {
    for (int n = 1, fired = 1; fired; ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(WriteFile(target, "a\nb\n"));
        platform::InjectFault(platform::FaultPoint::Read, n, platform::Error::Other);
        const bool ok = package.ConvertTextFile(target);
        fired = platform::FaultFired(platform::FaultPoint::Read);
        platform::ClearFaults();
        EXPECT_EQ(ok, !fired);
        if (!fired) break;
        EXPECT_EQ(package.errorText, "Cannot open file " + target);
        EXPECT_EQ(ReadFile(target), "a\nb\n");
        EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
    }
}

// A write that fails only when the stream is closed (the disk filled up
// while the last buffered bytes went out) must not be copied back.
TEST_F(ConvertFaults, FailedCloseOfTheTemporaryFile) {
    ASSERT_TRUE(WriteFile(target, "a\nb\n"));
    platform::InjectFault(platform::FaultPoint::Close, 1, platform::Error::DiskFull);
    EXPECT_FALSE(package.ConvertTextFile(target));
    EXPECT_EQ(package.errorText, "Cannot write file" + temporary);
    EXPECT_EQ(ReadFile(target), "a\nb\n");
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"x.txt"});
}

}  // namespace
}  // namespace kd::test
