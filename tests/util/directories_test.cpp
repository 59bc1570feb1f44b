// Directory operations: creation of one level, tree removal with its
// filters and dot-directory rule, and listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"
#include "util/directories.h"
#include "util/files.h"

namespace kd {
namespace {

using test::IsDirectory;
using test::ListTree;
using test::TempDir;
using test::WriteFile;

using Tree = std::vector<std::string>;

// Builds files and directories from "/"-separated relative names; a name
// ending in "/" is a directory.
void Build(const TempDir& dir, const Tree& entries) {
    for (const std::string& entry : entries) {
        if (entry.back() == '/') {
            ASSERT_TRUE(util::CreateDirectoryPath((dir / entry.substr(0, entry.size() - 1)).c_str()));
        } else {
            ASSERT_TRUE(WriteFile(dir / entry, "data of " + entry));
        }
    }
}

TEST(CreateDirectoryPath, CreatesOnlyTheLastLevel) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "file", "x"));
    EXPECT_TRUE(util::CreateDirectoryPath((dir / "new").c_str()));
    EXPECT_TRUE(IsDirectory(dir / "new"));
    EXPECT_TRUE(util::CreateDirectoryPath((dir / "new").c_str()));   // exists already
    EXPECT_TRUE(util::CreateDirectoryPath((dir / "file").c_str()));  // a file of that name counts
    EXPECT_FALSE(util::CreateDirectoryPath((dir / "a\\b").c_str()));  // parent missing
    EXPECT_FALSE(IsDirectory(dir / "a"));
    EXPECT_FALSE(util::CreateDirectoryPath(nullptr));
}

struct RemoveCase {
    const char* name;
    const char* fileFilter;
    const char* subdirectoryFilter;
    bool ok;
    Tree after;
};

const Tree startTree = {"log1.txt",     "Logbook",   "old.log",      "sub/",
                        "sub/a.txt",    "sub/deep/", "sub/deep/b",   ".hidden/",
                        ".hidden/keep", "LOGS/",     "LOGS/x.txt"};

class RemoveTreeTest : public testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveTreeTest, AppliesTheFilters) {
    const RemoveCase& c = GetParam();
    TempDir dir;
    Build(dir, startTree);
    EXPECT_EQ(util::RemoveTree(dir.Path().c_str(), false, c.fileFilter, c.subdirectoryFilter), c.ok);
    EXPECT_EQ(ListTree(dir.Path()), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, RemoveTreeTest,
    testing::Values(
        RemoveCase{"FilesOnly", "*", "", true,
                   {".hidden/", ".hidden/keep", "LOGS/", "LOGS/x.txt", "sub/", "sub/a.txt",
                    "sub/deep/", "sub/deep/b"}},
        RemoveCase{"FilesAndSubdirectories", "*", "*", true, {".hidden/", ".hidden/keep"}},
        RemoveCase{"NullFiltersSelectEverything", nullptr, nullptr, true,
                   {".hidden/", ".hidden/keep"}},
        RemoveCase{"PrefixIgnoresCase", "LOG", "log", true,
                   {".hidden/", ".hidden/keep", "old.log", "sub/", "sub/a.txt", "sub/deep/",
                    "sub/deep/b"}},
        RemoveCase{"NoOtherWildcard", "*.log", "", true,
                   {".hidden/", ".hidden/keep", "LOGS/", "LOGS/x.txt", "Logbook", "log1.txt",
                    "old.log", "sub/", "sub/a.txt", "sub/deep/", "sub/deep/b"}}),
    [](const testing::TestParamInfo<RemoveCase>& info) { return info.param.name; });

TEST(RemoveTree, MissingDirectoryIsSuccessAndAFileIsNot) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir / "file", "x"));
    EXPECT_TRUE(util::RemoveTree((dir / "none").c_str(), false, "*", "*"));
    EXPECT_TRUE(util::RemoveTree(nullptr, false, "*", "*"));
    EXPECT_FALSE(util::RemoveTree((dir / "file").c_str(), false, "*", "*"));
}

TEST(RemoveTree, GoesOnPastWhatCannotBeRemoved) {
    TempDir dir;
    Build(dir, {"a.txt", "sub/", "sub/locked", "sub/free", "sub/inner/", "sub/inner/.git/",
                "other/", "other/x"});
    ASSERT_EQ(platform::SetReadOnly((dir / "sub/locked").c_str()), platform::Error::None);
    EXPECT_FALSE(util::RemoveTree(dir.Path().c_str(), false, "*", "*"));
    // The read-only file and a nested dot-directory keep their parents.
    EXPECT_EQ(ListTree(dir.Path()),
              (Tree{"sub/", "sub/inner/", "sub/inner/.git/", "sub/locked"}));
}

TEST(RemoveTree, RemovesDirectoryLinksWithoutEnteringThem) {
    if (test::IsWindowsBuild()) GTEST_SKIP() << "making links needs a privilege on Windows";
    TempDir dir, outside;
    Build(dir, {"sub/", "sub/x"});
    ASSERT_TRUE(WriteFile(outside / "precious", "keep me"));
    std::filesystem::create_directory_symlink(outside.Path(), dir / "link");
    std::filesystem::create_directory_symlink(outside.Path(), dir / "sub/inner");
    EXPECT_TRUE(util::RemoveTree(dir.Path().c_str(), false, "*", "*"));
    EXPECT_EQ(ListTree(dir.Path()), Tree{});
    EXPECT_EQ(test::ReadFile(outside / "precious"), "keep me");
}

TEST(PathLimit, OverLongPathsAreRefused) {
    TempDir dir;
    const std::string tooLong = dir / std::string(util::PathBufferSize, 'a');
    EXPECT_FALSE(util::CreateDirectoryPath(tooLong.c_str()));
    EXPECT_FALSE(util::RemoveTree(tooLong.c_str(), false, "*", "*"));
    std::vector<std::string> names;
    EXPECT_FALSE(util::ListDirectory(tooLong.c_str(), nullptr, names));
}

TEST(RemoveTree, PassesOverTheKeptFile) {
    TempDir dir;
    Build(dir, {"package.kd_temp", "other", "sub/", "sub/x"});
    const std::string keep = dir / "PACKAGE.kd_temp";  // spelt differently
    EXPECT_TRUE(util::RemoveTree(dir.Path().c_str(), false, "*", "*",
                           test::IsWindowsBuild() ? keep.c_str()
                                                  : (dir / "package.kd_temp").c_str()));
    EXPECT_EQ(ListTree(dir.Path()), (Tree{"package.kd_temp"}));
}

TEST(ListDirectory, ListsFilesOnlyAndAppends) {
    TempDir dir;
    Build(dir, {"a.txt", "B.TXT", "sub/", "sub/inner.txt"});
    std::vector<std::string> names = {"kept"};
    EXPECT_TRUE(util::ListDirectory(dir.Path().c_str(), nullptr, names));
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "kept");
    std::sort(names.begin() + 1, names.end());
    EXPECT_EQ(names[1], "B.TXT");
    EXPECT_EQ(names[2], "a.txt");

    std::vector<std::string> pattern;
    EXPECT_TRUE(util::ListDirectory(dir.Path().c_str(), "*.TXT", pattern));
    EXPECT_EQ(pattern.size(), 2u);  // case ignored, as on Windows

    std::vector<std::string> none;
    EXPECT_TRUE(util::ListDirectory((dir / "missing").c_str(), nullptr, none));
    EXPECT_TRUE(util::ListDirectory((dir / "a.txt").c_str(), nullptr, none));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(util::ListDirectory(nullptr, nullptr, none));
}

TEST(ListDirectory, EmptyPathListsTheCurrentDirectory) {
    TempDir dir;
    Build(dir, {"here.txt"});
    const std::string previous = platform::CurrentDirectory();
    ASSERT_TRUE(test::ChangeDirectory(dir.Path()));
    std::vector<std::string> names;
    EXPECT_TRUE(util::ListDirectory("", nullptr, names));
    ASSERT_TRUE(test::ChangeDirectory(previous));
    EXPECT_EQ(names, std::vector<std::string>{"here.txt"});
}

}  // namespace
}  // namespace kd
