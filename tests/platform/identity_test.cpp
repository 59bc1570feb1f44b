// A file's identity tells its names apart from other files': a second name
// and the directory's own handle agree, another file does not.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "support/planted.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

TEST(Identity, NamesOfOneFileAgree) {
    test::TempDir root;
    std::filesystem::create_directories(root / "d");
    ASSERT_TRUE(test::WriteFile(root / "d/a", "a") && test::WriteFile(root / "d/b", "b"));
    ASSERT_TRUE(test::MakeHardLink(root / "d/a", root / "d/second"));
    platform::Error error = platform::Error::None;
    const platform::DirHandle top = platform::OpenDirectory(root.Path().c_str(), error);
    const platform::DirHandle dir = platform::OpenDirectory((root / "d").c_str(), error);
    ASSERT_TRUE(top && dir);
    platform::EntryInfo a, b, second, d, self;
    ASSERT_EQ(platform::InfoAt(dir, "a", a), platform::Error::None);
    ASSERT_EQ(platform::InfoAt(dir, "b", b), platform::Error::None);
    ASSERT_EQ(platform::InfoAt(dir, "second", second), platform::Error::None);
    ASSERT_EQ(platform::InfoAt(top, "d", d), platform::Error::None);
    ASSERT_EQ(platform::InfoOf(dir, self), platform::Error::None);
    EXPECT_TRUE(platform::SameIdentity(a, second));
    EXPECT_FALSE(platform::SameIdentity(a, b));
    EXPECT_TRUE(platform::SameIdentity(d, self));
    EXPECT_FALSE(platform::SameIdentity(platform::EntryInfo{}, platform::EntryInfo{}));
    EXPECT_TRUE(platform::SameFile((root / "d/a").c_str(), (root / "d/second").c_str()));
    EXPECT_FALSE(platform::SameFile((root / "d/a").c_str(), (root / "d/b").c_str()));
}

}  // namespace
}  // namespace kd
