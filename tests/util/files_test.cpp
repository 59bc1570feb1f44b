// File access helpers: mode strings, existence tests, byte-range copies and
// line reads, on the real file system of each platform.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "util/files.h"

namespace kd {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class FilesTest : public testing::Test {
protected:
    void TearDown() override { platform::ClearFaults(); }
    TempDir dir;
};

TEST_F(FilesTest, ModeTableDecidesAccessAndDisposition) {
    struct Case {
        const char* mode;
        bool existing;  // open a file holding "old"
        bool opens;
        const char* contentAfterWrite;  // nullptr: not writable
    };
    const Case cases[] = {
        {"r", false, false, nullptr},     {"rb", true, true, nullptr},
        {"rt", true, true, nullptr},      {"w", false, true, "new"},
        {"wb", true, true, "new"},        {"a", true, true, "oldnew"},
        {"ab", false, true, "new"},       {"r+", false, false, nullptr},
        {"r+b", true, true, "new"},       {"w+", true, true, "new"},
        {"a+t", true, true, "oldnew"},    {"R", true, false, nullptr},
        {"rw", true, false, nullptr},     {"", true, false, nullptr},
        {"wb+", true, false, nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = dir / "file.txt";
        util::RemoveFile(path.c_str());
        if (c.existing) {
            ASSERT_TRUE(WriteFile(path, "old"));
        }
        platform::Stream stream = util::OpenFileShared(path.c_str(), c.mode);
        EXPECT_EQ(stream != nullptr, c.opens) << c.mode;
        if (!stream || !c.contentAfterWrite) continue;
        EXPECT_EQ(std::fwrite("new", 1, 3, stream.get()), 3u) << c.mode;
        stream.reset();
        EXPECT_EQ(ReadFile(path), c.contentAfterWrite) << c.mode;
    }
}

TEST_F(FilesTest, OnlyTextModesTranslateLineEnds) {
    const std::string path = dir / "crlf.txt";
    ASSERT_TRUE(WriteFile(path, "a\r\nb\r\n"));
    char buffer[16];
    {
        platform::Stream binary = util::OpenFileShared(path.c_str(), "r");
        ASSERT_TRUE(binary);
        ASSERT_EQ(std::fread(buffer, 1, sizeof buffer, binary.get()), 6u);
        EXPECT_EQ(std::string(buffer, 6), "a\r\nb\r\n");
    }
    if (!test::IsWindowsBuild()) GTEST_SKIP() << "no text translation in the POSIX stand-in";
    platform::Stream text = util::OpenFileShared(path.c_str(), "rt");
    ASSERT_TRUE(text);
    ASSERT_EQ(std::fread(buffer, 1, sizeof buffer, text.get()), 4u);
    EXPECT_EQ(std::string(buffer, 4), "a\nb\n");
}

TEST_F(FilesTest, MissingFileIsNotRetried) {
    // Only shortages of handles or memory are retried; this must fail at once.
    const std::string path = dir / "missing";
    EXPECT_FALSE(util::OpenFileShared(path.c_str(), "r"));
    EXPECT_FALSE(util::OpenFileShared(nullptr, "r"));
    EXPECT_FALSE(util::OpenFileShared("", "w"));
}

TEST_F(FilesTest, ShortOfHandlesRetriesEvery500MsForAbout10Seconds) {
    const std::string path = dir / "later.txt";
    ASSERT_TRUE(WriteFile(path, "x"));
    test::FakeClock clock;
    const std::int64_t start = platform::Now();
    platform::InjectFault(platform::FaultPoint::Open, 1, platform::Error::TooManyOpenFiles, 2);
    EXPECT_TRUE(util::OpenFileShared(path.c_str(), "rb"));
    EXPECT_EQ(platform::Now() - start, 1000);  // two pauses, then success

    // The clock starts on a whole second: 22 pauses pass more than 10 whole seconds.
    platform::InjectFault(platform::FaultPoint::Open, 1, platform::Error::NotEnoughMemory, 1000);
    EXPECT_FALSE(util::OpenFileShared(path.c_str(), "rb"));
    EXPECT_EQ(platform::Now() - start, 1000 + 22 * 500);
}

TEST_F(FilesTest, ExistenceTests) {
    ASSERT_TRUE(WriteFile(dir / "f.txt", "x"));
    const std::string file = dir / "f.txt";
    const std::string& directory = dir.Path();
    EXPECT_TRUE(util::FileExists(file.c_str()));
    EXPECT_FALSE(util::FileExists(directory.c_str()));
    EXPECT_FALSE(util::FileExists(""));
    EXPECT_FALSE(util::FileExists(nullptr));

    struct Case {
        std::string path;
        bool exists;
    };
    const Case cases[] = {
        {file, true},
        {directory, true},
        {directory + "\\", true},
        {directory + "/", true},
        {directory + "\\/", true},         // both separators go
        {dir / "f.*", true},               // wildcards match
        {dir / "missing", false},
        {directory + "/\\\\", false},      // only one backslash goes: an empty name is left
        {"", false},
        {std::string(util::PathBufferSize, 'a'), false},
    };
    for (const Case& c : cases) EXPECT_EQ(util::PathExists(c.path.c_str()), c.exists) << c.path;
    EXPECT_FALSE(util::PathExists(nullptr));
}

TEST_F(FilesTest, RemoveFileLeavesReadOnlyFiles) {
    const std::string plain = dir / "plain", locked = dir / "locked";
    ASSERT_TRUE(WriteFile(plain, "x"));
    ASSERT_TRUE(WriteFile(locked, "x"));
    ASSERT_EQ(platform::SetReadOnly(locked.c_str()), platform::Error::None);
    util::RemoveFile(plain.c_str());
    util::RemoveFile(locked.c_str());
    util::RemoveFile("");
    EXPECT_FALSE(util::FileExists(plain.c_str()));
    EXPECT_TRUE(util::FileExists(locked.c_str()));
}

// A name that already exists, in whatever form, is never opened by CreateNew;
// CreateFreshFile replaces a planted link by a new file, leaving its target.
TEST_F(FilesTest, CreateNewRefusesEveryExistingNameAndRemoveNameKeepsLinkTargets) {
    const std::string target = dir / "target", link = dir / "link", fresh = dir / "fresh";
    ASSERT_TRUE(WriteFile(target, "keep"));
    const bool links = !test::IsWindowsBuild();  // links need a privilege on Windows
    if (links) std::filesystem::create_symlink(target, link);
    platform::Error error = platform::Error::None;
    const platform::OpenMode createNew{platform::Access::Write, platform::Disposition::CreateNew};
    for (const std::string& name : {target, links ? link : target, std::string(dir.Path())}) {
        EXPECT_FALSE(platform::OpenShared(name.c_str(), createNew, error)) << name;
        EXPECT_EQ(error, platform::Error::AlreadyExists) << name;
    }
    EXPECT_TRUE(platform::OpenShared(fresh.c_str(), createNew, error));
    EXPECT_EQ(platform::RemoveName(fresh.c_str()), platform::Error::None);
    if (links) {
        platform::Stream fresh = util::CreateFreshFile(link.c_str());
        ASSERT_TRUE(fresh);
        EXPECT_GE(std::fputs("new", fresh.get()), 0);
        fresh.reset();
        EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));
        EXPECT_EQ(ReadFile(link), "new");
    }
    EXPECT_EQ(ReadFile(target), "keep");
    EXPECT_EQ(platform::RemoveName(fresh.c_str()), platform::Error::NotFound);
}

TEST_F(FilesTest, CopyStreamBytesClipsToTheSource) {
    const std::string source = dir / "source", target = dir / "target";
    ASSERT_TRUE(WriteFile(source, "0123456789AB"));  // 12 bytes
    struct Case {
        std::int64_t offset, count;
        bool ok;
        const char* expected;
    };
    const Case cases[] = {
        {0, -1, true, "0123456789AB"}, {10, 5, true, "AB"}, {3, 4, true, "3456"},
        {12, -1, true, ""},            {13, 1, false, ""},  {0, -2, false, ""},
        {-1, 1, false, ""},
    };
    for (const Case& c : cases) {
        {
            platform::Stream in = util::OpenFileShared(source.c_str(), "rb");
            platform::Stream out = util::OpenFileShared(target.c_str(), "wb");
            ASSERT_TRUE(in && out);
            EXPECT_EQ(util::CopyStreamBytes(in.get(), out.get(), c.offset, c.count), c.ok)
                << c.offset << "," << c.count;
        }
        EXPECT_EQ(ReadFile(target), c.expected) << c.offset << "," << c.count;
    }
}

TEST_F(FilesTest, CopyStreamBytesCopiesBlocksAndLeavesTheSourceAfterTheRange) {
    for (std::size_t size : {16384u * 2, 16384u * 2 + 7, 5u}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + i / 251);
        const std::string source = dir / "big", target = dir / "copy";
        ASSERT_TRUE(WriteFile(source, content + "tail"));
        {
            platform::Stream in = util::OpenFileShared(source.c_str(), "rb");
            platform::Stream out = util::OpenFileShared(target.c_str(), "wb");
            ASSERT_TRUE(in && out);
            ASSERT_TRUE(util::CopyStreamBytes(in.get(), out.get(), 0, static_cast<std::int64_t>(size)));
            EXPECT_EQ(util::FileTell(in.get()), static_cast<std::int64_t>(size));
            char next[4];
            ASSERT_EQ(std::fread(next, 1, 4, in.get()), 4u);
            EXPECT_EQ(std::string(next, 4), "tail");
        }
        EXPECT_EQ(ReadFile(target), content) << size;
    }
}

TEST_F(FilesTest, CopyReportsAFailedWrite) {
    const std::string source = dir / "source", target = dir / "target";
    ASSERT_TRUE(WriteFile(source, std::string(40000, 'x')));
    platform::Stream in = util::OpenFileShared(source.c_str(), "rb");
    platform::Stream out = util::OpenFileShared(target.c_str(), "wb");
    ASSERT_TRUE(in && out);
    platform::InjectFault(platform::FaultPoint::Write, 2, platform::Error::DiskFull);
    EXPECT_FALSE(util::CopyStreamBytes(in.get(), out.get(), 0, -1));
}

TEST_F(FilesTest, ReadLineBytesKeepsZeroBytes) {
    const std::string path = dir / "zeros";
    ASSERT_TRUE(WriteFile(path, std::string("a\0b\r\n\0\n", 7)));
    platform::Stream stream = util::OpenFileShared(path.c_str(), "r");
    ASSERT_TRUE(stream);
    char buffer[64];
    int length = -1;
    EXPECT_EQ(util::ReadLineBytes(buffer, sizeof buffer, stream.get(), length), 5);
    EXPECT_EQ(std::string(buffer, length), std::string("a\0b", 3));
    EXPECT_EQ(util::ReadLineBytes(buffer, sizeof buffer, stream.get(), length), 2);
    EXPECT_EQ(std::string(buffer, length), std::string("\0", 1));
    EXPECT_EQ(util::ReadLineBytes(buffer, sizeof buffer, stream.get(), length), 0);
}

TEST_F(FilesTest, SeekAndTellAre64Bit) {
    const std::string path = dir / "seek";
    ASSERT_TRUE(WriteFile(path, "0123456789"));
    platform::Stream stream = util::OpenFileShared(path.c_str(), "rb");
    ASSERT_TRUE(stream);
    EXPECT_EQ(util::FileSeek(stream.get(), -3, 2), 0);
    EXPECT_EQ(util::FileTell(stream.get()), 7);
    EXPECT_EQ(util::FileSeek(stream.get(), 2, 1), 0);
    EXPECT_EQ(util::FileTell(stream.get()), 9);
    EXPECT_EQ(util::FileSeek(stream.get(), -1, 0), -1);
    EXPECT_EQ(util::FileSeek(stream.get(), 0, 3), -1);
    // The size query leaves the stream at its start, wherever it was.
    EXPECT_EQ(util::StreamSize(stream.get()), 10);
    EXPECT_EQ(util::FileTell(stream.get()), 0);
    EXPECT_EQ(util::StreamSize(nullptr), -1);
}

}  // namespace
}  // namespace kd
