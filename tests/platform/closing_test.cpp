// Closing a directory to others walks every entry below it through handles,
// follows no link, and refuses a second name it would have to change.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/planted.h"
#include "support/temp_dir.h"
#include "trust/closing.h"

namespace kd {
namespace {

using platform::Error;

TEST(Closing, WalksEveryEntryAndNothingBeyond) {
    if (!test::CanPlantLinks()) GTEST_SKIP() << "planting links needs root (Wine as root)";
    // "d" is closed; "o" lies outside, reached by the links "d/out" and
    // "d/n.txt" and, in some rows, the second name "d/h.txt" of "o/y.txt".
    const struct {
        const char* name;
        bool secondName;
        std::vector<std::string> opened;
        Error result;
        std::vector<std::string> closedAfter, openAfter;
    } cases[] = {
        {"tree", false, {"d", "d/s", "d/s/f.txt", "o", "o/x.txt"}, Error::None,
         {"d", "d/s", "d/s/f.txt"}, {"o", "o/x.txt"}},
        {"second name others may write", true, {"d", "o/y.txt"}, Error::AccessDenied, {}, {"o/y.txt"}},
        {"second name closed already", true, {"d"}, Error::None, {"d", "o/y.txt"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir root;
        std::filesystem::create_directories(root / "d/s");
        std::filesystem::create_directories(root / "o");
        for (const char* file : {"d/s/f.txt", "o/x.txt", "o/y.txt"}) ASSERT_TRUE(test::WriteFile(root / file, "x"));
        ASSERT_TRUE(test::MakeLink(root / "o", root / "d/out") && test::MakeLink(root / "o/x.txt", root / "d/n.txt"));
        ASSERT_TRUE(!c.secondName || test::MakeHardLink(root / "o/y.txt", root / "d/h.txt"));
        for (const std::string& path : c.opened) ASSERT_TRUE(test::OpenToOthers(root / path)) << path;
        Error error = Error::None;
        const platform::DirHandle dir = platform::OpenDirectory((root / "d").c_str(), error);
        ASSERT_TRUE(dir);
        EXPECT_EQ(trust::CloseToOthers(dir), c.result);
        for (const std::string& path : c.closedAfter) EXPECT_TRUE(test::OtherWriters(root / path).empty()) << path;
        for (const std::string& path : c.openAfter) EXPECT_FALSE(test::OtherWriters(root / path).empty()) << path;
    }
}

}  // namespace
}  // namespace kd
