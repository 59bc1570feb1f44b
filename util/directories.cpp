// Directory operations. Operating-system independent: searches, creation and
// removal go through platform/.
#include "util/directories.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "util/files.h"
#include "util/strings.h"

namespace kd::util {

namespace {

// directory + "\" (unless empty or already ending in one) + name; false when
// the result would not fit the working path limit.
bool JoinPath(const std::string& directory, const std::string& name, std::string& out) {
    out = directory;
    AddTrailingBackslash(out);
    out += name;
    return out.size() < static_cast<std::size_t>(PathBufferSize);
}

// Null and "*" select everything, "" nothing, other text the names that
// begin with it, case ignored.
bool Selected(const char* filter, const std::string& name) {
    if (!filter) return true;
    if (*filter == '\0') return false;
    if (filter[0] == '*' && filter[1] == '\0') return true;
    const auto position = FindNoCase(name.c_str(), filter);
    return position && *position == 0;
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// The cheap name test first: identity costs two lookups per file.
bool IsKept(const char* keepFile, const std::string& name, const std::string& full) {
    if (!keepFile) return false;
    std::string_view keep(keepFile);
    const auto separator = keep.find_last_of("\\/");
    if (separator != std::string_view::npos) keep.remove_prefix(separator + 1);
    return SameNameNoCase(keep, name) && platform::SameFile(full.c_str(), keepFile);
}

}  // namespace

bool CreateDirectoryPath(const char* path) {
    if (!path || std::strlen(path) >= static_cast<std::size_t>(PathBufferSize)) return false;
    if (PathExists(path)) return true;
    return platform::CreateDir(path) == platform::Error::None;
}

bool RemoveTree(const char* directory, bool removeSelf, const char* fileFilter,
                const char* subdirectoryFilter, const char* keepFile) {
    if (!directory) return true;
    // Too long to search: refused rather than taken for a missing directory.
    if (std::strlen(directory) >= static_cast<std::size_t>(PathBufferSize)) return false;
    if (!PathExists(directory)) return true;
    if (removeSelf) {
        fileFilter = nullptr;
        subdirectoryFilter = nullptr;
    }
    const std::string base = directory;
    std::string pattern;
    if (!JoinPath(base, "*", pattern)) return false;

    bool result = true;
    {
        platform::FindHandle search;
        platform::FindEntry entry;
        // A search that cannot start (the path is a file) is a failure; an
        // empty directory still yields its "." entries.
        if (!search.First(pattern.c_str(), entry)) return false;
        do {
            std::string full;
            const bool fits = JoinPath(base, entry.name, full);
            if (entry.isDirectory) {
                // Covers "." and ".." and every other name that begins with a dot.
                if (entry.name.front() == '.' || !Selected(subdirectoryFilter, entry.name)) {
                    continue;
                }
                // A link is removed, never entered: what it points to may lie
                // outside the tree.
                if (entry.isLink) {
                    if (!fits || platform::RemoveDir(full.c_str()) != platform::Error::None) {
                        result = false;
                    }
                } else if (!fits || !RemoveTree(full.c_str(), true, "*", "*", keepFile)) {
                    result = false;
                }
            } else if (Selected(fileFilter, entry.name) && !IsKept(keepFile, entry.name, full)) {
                if (!fits || platform::EraseFile(full.c_str()) != platform::Error::None) {
                    result = false;
                }
            }
        } while (search.Next(entry));
    }  // the search is closed before the directory is removed
    if (removeSelf && platform::RemoveDir(directory) != platform::Error::None) return false;
    return result;
}

bool RemoveTreeAt(const platform::DirHandle& dir, const char* fileFilter,
                  const char* subdirectoryFilter, const platform::EntryInfo& keep) {
    std::vector<platform::FindEntry> entries;
    if (platform::ListAt(dir, entries) != platform::Error::None) return false;
    bool result = true;
    for (const platform::FindEntry& entry : entries) {
        if (entry.isDirectory) {
            if (entry.name.front() == '.' || !Selected(subdirectoryFilter, entry.name)) continue;
            platform::Error error = platform::Error::None;
            const platform::DirHandle child =
                entry.isLink ? nullptr : platform::OpenDirectoryAt(dir, entry.name, error);
            // A link, listed or put in the directory's place since, goes as a name.
            if (child && !RemoveTreeAt(child, "*", "*", keep)) result = false;
            if ((child || entry.isLink || error == platform::Error::IsLink) &&
                platform::RemoveAt(dir, entry.name, true) == platform::Error::None) {
                continue;
            }
            result = false;
        } else if (Selected(fileFilter, entry.name)) {
            platform::EntryInfo info;
            if (platform::HasIdentity(keep)) {
                // A file that cannot be told from the kept one stays.
                if (platform::InfoAt(dir, entry.name, info) != platform::Error::None) {
                    result = false;
                    continue;
                }
                if (platform::SameIdentity(info, keep)) continue;
            }
            if (platform::RemoveAt(dir, entry.name, false) != platform::Error::None) result = false;
        }
    }
    return result;
}

bool ListDirectory(const char* directory, const char* pattern, std::vector<std::string>& names) {
    if (!directory) return false;
    std::string search;
    if (!JoinPath(directory, pattern ? pattern : "*", search)) return false;
    platform::FindHandle handle;
    platform::FindEntry entry;
    for (bool found = handle.First(search.c_str(), entry); found; found = handle.Next(entry)) {
        if (!entry.isDirectory) names.push_back(entry.name);
    }
    return true;
}

}  // namespace kd::util
