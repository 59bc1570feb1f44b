// POSIX stand-in for the Windows directory calls, with Windows wildcard
// searches: "*" and "?" in the last component, letter case ignored, and the
// "." and ".." entries returned like any other.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/posix/paths.h"

namespace kd::platform {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Windows wildcard match: "*" any run, "?" any one byte, case ignored.
bool WildcardMatch(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || Lower(*pattern) == Lower(*name)) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool Describe(const std::string& base, const char* name, FindEntry& entry) {
    std::string full = base.empty() ? name : base + "/" + name;
    struct stat info {};
    if (::lstat(full.c_str(), &info) != 0) return false;
    entry.name = name;
    entry.isLink = S_ISLNK(info.st_mode);
    // A link reports what it points to, as a Windows directory link does.
    if (entry.isLink && ::stat(full.c_str(), &info) != 0) info.st_mode = S_IFREG;
    entry.isDirectory = S_ISDIR(info.st_mode);
    entry.isSpecial = !entry.isDirectory && !S_ISREG(info.st_mode);
    return true;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

struct FindState {
    std::unique_ptr<DIR, DirectoryCloser> directory;
    std::string pattern;  // last component
    std::string base;     // directory part, for stat
};

void StateDeleter::operator()(FindState* state) const { delete state; }

namespace {

bool NextMatch(FindState& search, FindEntry& entry) {
    while (dirent* item = ::readdir(search.directory.get())) {
        if (!WildcardMatch(search.pattern.c_str(), item->d_name)) continue;
        if (Describe(search.base, item->d_name, entry)) return true;
    }
    return false;
}

}  // namespace

bool FindHandle::First(const char* pattern, FindEntry& entry) {
    state.reset();
    const std::string native = NativePath(pattern);
    const std::size_t slash = native.rfind('/');
    std::string base = slash == std::string::npos ? "" : native.substr(0, slash);
    std::string last = slash == std::string::npos ? native : native.substr(slash + 1);
    if (slash == 0) base = "/";
    if (last.empty()) return false;

    if (last.find_first_of("*?") == std::string::npos) {
        // No wildcard: the search names one entry.
        return Describe(base, last.c_str(), entry);
    }
    if (last == "*.*") last = "*";  // Windows: matches names without a dot too
    std::unique_ptr<DIR, DirectoryCloser> directory(::opendir(base.empty() ? "." : base.c_str()));
    if (!directory) return false;
    StatePointer<FindState> search(new FindState{std::move(directory), last, base});
    if (!NextMatch(*search, entry)) return false;
    state = std::move(search);
    return true;
}

bool FindHandle::Next(FindEntry& entry) { return state && NextMatch(*state, entry); }

std::string CurrentDirectory() {
    std::string buffer(256, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

}  // namespace kd::platform
