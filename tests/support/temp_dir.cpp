// Temporary directories and file utilities for the test suites.
#include "support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace kd::test {

namespace {

std::string Native(const fs::path& path) {
    std::string text = path.string();
#ifdef _WIN32
    std::replace(text.begin(), text.end(), '/', '\\');
#endif
    return text;
}

fs::path FromText(const std::string& text) {
#ifdef _WIN32
    return fs::path(text);
#else
    std::string copy = text;
    std::replace(copy.begin(), copy.end(), '\\', '/');
    return fs::path(copy);
#endif
}

void MakeWritable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    if (!fs::is_directory(root, ec)) return;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        ec.clear();
    }
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "kdtest-" << std::hex << (random() ^ static_cast<unsigned>(stamp)) << '-'
             << counter++;
        fs::path candidate = base / name.str();
        if (fs::create_directory(candidate, ec)) {
            path = Native(fs::canonical(candidate, ec));
            if (ec) path = Native(candidate);
            return;
        }
    }
    std::abort();  // No temporary directory: no test can run safely.
}

TempDir::~TempDir() {
    fs::path root = FromText(path);
    MakeWritable(root);
    std::error_code ec;
    fs::remove_all(root, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
#ifdef _WIN32
    return path + "\\" + relative;
#else
    std::string copy = relative;
    std::replace(copy.begin(), copy.end(), '\\', '/');
    return path + "/" + copy;
#endif
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(FromText(path), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path, bool* ok) {
    std::ifstream in(FromText(path), std::ios::binary);
    if (ok) *ok = static_cast<bool>(in);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(FromText(path), ec);
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(FromText(path), ec);
}

std::vector<std::string> ListTree(const std::string& root) {
    std::vector<std::string> entries;
    std::error_code ec;
    const fs::path base = FromText(root);
    for (auto it = fs::recursive_directory_iterator(base, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::string relative = it->path().lexically_relative(base).generic_string();
        if (it->is_directory(ec)) relative += '/';
        entries.push_back(relative);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool ChangeDirectory(const std::string& path) {
    std::error_code ec;
    fs::current_path(FromText(path), ec);
    return !ec;
}

bool RunningUnderWine() { return platform::IsWine(); }

}  // namespace kd::test
