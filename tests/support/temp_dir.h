// Test helpers: a temporary directory removed with everything in it, and
// small file utilities that work the same natively and under Wine.
#pragma once

#include <string>
#include <vector>

namespace kd::test {

// A fresh directory below the system's temporary directory; removed, with
// read-only files made writable first, when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, without trailing separator, in the platform's form
    // (backslashes under Windows).
    const std::string& Path() const { return path; }
    // Path() + separator + relative (a relative path may use "\" or "/").
    std::string operator/(const std::string& relative) const;

private:
    std::string path;
};

// Writes `content` to the file, creating or truncating it. False on failure.
bool WriteFile(const std::string& path, const std::string& content);
// The whole file; `ok` false (and empty result) when it cannot be read.
std::string ReadFile(const std::string& path, bool* ok = nullptr);
bool IsDirectory(const std::string& path);
bool IsFile(const std::string& path);
// Every file and directory below `root`, relative, "/"-separated, sorted;
// directories end with "/".
std::vector<std::string> ListTree(const std::string& root);

// Changes the process's working directory. False on failure.
bool ChangeDirectory(const std::string& path);

// True when running as a Windows program under Wine.
bool RunningUnderWine();
// True on the Windows build (native Windows or Wine).
constexpr bool IsWindowsBuild() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

}  // namespace kd::test
