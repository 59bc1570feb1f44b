// Planted links and permission bits on the POSIX stand-in.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "support/planted.h"
#include "support/temp_dir.h"

namespace kd::test {

bool CanPlantLinks() { return ::geteuid() == 0; }

int InterruptChild(const std::function<void()>& work, const std::function<bool()>& ready, int signal) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        work();
        ::_exit(0);
    }
    for (int waited = 0; waited < 10000 && !ready(); ++waited) ::usleep(1000);
    ::kill(child, signal);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool MakeLink(const std::string& target, const std::string& link) {
    std::error_code ec;
    std::filesystem::create_symlink(target, link, ec);
    return !ec;
}

bool MakeHardLink(const std::string& target, const std::string& link) {
    return ::link(target.c_str(), link.c_str()) == 0;
}

NameKind KindOfName(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? NameKind::Missing : NameKind::Link;
    }
    return S_ISLNK(info.st_mode) ? NameKind::Link : NameKind::Plain;
}

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0666) == 0; }

bool OtherUserCanWrite(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool opened = ::setgid(4242) == 0 && ::setuid(4242) == 0 &&
                            ::open(path.c_str(), O_WRONLY) >= 0;
        ::_exit(opened ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool GiveToOtherUser(const std::string& path) { return ::lchown(path.c_str(), 4242, 4242) == 0; }

bool OpenToOthers(const std::string& path) { return ::chmod(path.c_str(), 0777) == 0; }

std::vector<std::string> OtherWriters(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {"unreadable"};
    std::vector<std::string> writers;
    if (info.st_mode & S_IWGRP) writers.push_back("group");
    if (info.st_mode & S_IWOTH) writers.push_back("others");
    return writers;
}

unsigned SetUmask(unsigned mask) { return ::umask(static_cast<mode_t>(mask)); }

std::string RunningAccountSid() { return {}; }

bool WriteNamedFile(const std::string& path, const std::string& content) { return WriteFile(path, content); }
bool RemoveNamedFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace kd::test
