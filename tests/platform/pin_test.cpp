// A pinned directory cannot be renamed or removed by anyone while it is held;
// a handle that could delete it, opened before, makes the pin fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kd {
namespace {

using platform::Error;

TEST(Pin, HeldDirectoryStaysWhereItIs) {
    test::TempDir root;
    const std::string path = root / "held";
    std::filesystem::create_directories(path);
    Error error = Error::None;
    const platform::DirHandle dir = platform::OpenDirectory(path.c_str(), error);
    ASSERT_TRUE(dir);
    platform::DirHandle pin;
    ASSERT_EQ(platform::PinDirectory(dir, pin), Error::None);
    std::error_code failed;
    std::filesystem::rename(path, root / "moved", failed);
    // The POSIX stand-in holds nothing: a rename cannot be prevented there.
    EXPECT_EQ(static_cast<bool>(failed), test::IsWindowsBuild());
    EXPECT_EQ(static_cast<bool>(pin), test::IsWindowsBuild());
}

#ifdef _WIN32
TEST(Pin, EarlierHandleThatMayDeleteRefusesIt) {
    test::TempDir root;
    const std::string path = root / "held";
    std::filesystem::create_directories(path);
    const HANDLE earlier = ::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(earlier, INVALID_HANDLE_VALUE);
    Error error = Error::None;
    const platform::DirHandle dir = platform::OpenDirectory(path.c_str(), error);
    ASSERT_TRUE(dir);
    platform::DirHandle pin;
    EXPECT_EQ(platform::PinDirectory(dir, pin), Error::SharingViolation);
    ::CloseHandle(earlier);
    ASSERT_EQ(platform::PinDirectory(dir, pin), Error::None);
    const HANDLE later = ::CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_EQ(later, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (later != INVALID_HANDLE_VALUE) ::CloseHandle(later);
}
#endif

}  // namespace
}  // namespace kd
