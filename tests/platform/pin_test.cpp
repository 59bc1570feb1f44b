// A pinned directory cannot be renamed or removed while it is held, and a
// handle that may delete it, opened before, makes the pin fail. The POSIX
// stand-in cannot hold a directory: Windows only.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

HANDLE OpenForDeletion(const std::string& path) {
    return ::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

TEST(Pin, HoldsTheDirectoryInPlace) {
    test::TempDir root;
    const std::string path = root / "held";
    std::filesystem::create_directories(path);
    platform::Error error = platform::Error::None;
    const platform::DirHandle dir = platform::OpenDirectory(path.c_str(), error);
    platform::DirHandle pin;
    const HANDLE earlier = OpenForDeletion(path);
    ASSERT_TRUE(dir && earlier != INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::PinDirectory(dir, pin), platform::Error::SharingViolation);
    ::CloseHandle(earlier);
    ASSERT_EQ(platform::PinDirectory(dir, pin), platform::Error::None);
    EXPECT_EQ(OpenForDeletion(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::MoveFileA(path.c_str(), (root / "moved").c_str()));
}

}  // namespace
}  // namespace kd
#endif
