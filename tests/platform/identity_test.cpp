// A file's identity tells its names apart from other files': a second name
// and the directory's own handle agree, another file does not.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/planted.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

TEST(Identity, NamesOfOneFileAgree) {
    test::TempDir root;
    std::filesystem::create_directories(root / "d");
    ASSERT_TRUE(test::WriteFile(root / "d/a", "a") && test::WriteFile(root / "d/b", "b") &&
                test::MakeHardLink(root / "d/a", root / "d/second"));
    platform::Error error = platform::Error::None;
    const platform::DirHandle top = platform::OpenDirectory(root.Path().c_str(), error);
    const platform::DirHandle dir = platform::OpenDirectory((root / "d").c_str(), error);
    ASSERT_TRUE(top && dir);
    constexpr platform::Error ok = platform::Error::None;
    platform::EntryInfo a, b, second, d, self;
    ASSERT_TRUE(platform::InfoAt(dir, "a", a) == ok && platform::InfoAt(dir, "b", b) == ok &&
                platform::InfoAt(dir, "second", second) == ok && platform::InfoAt(top, "d", d) == ok &&
                platform::InfoOf(dir, self) == ok);
    EXPECT_TRUE(platform::SameIdentity(a, second) && platform::SameIdentity(d, self));
    EXPECT_FALSE(platform::SameIdentity(a, b) || platform::SameIdentity({}, {}));
    EXPECT_TRUE(platform::SameFile((root / "d/a").c_str(), (root / "d/second").c_str()));
}

}  // namespace
}  // namespace kd
