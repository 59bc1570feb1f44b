// Directory operations. Operating-system independent: every one works through
// directory handles; the path forms open a directory and call the handle form.
#include "util/directories.h"

#include <cstring>
#include <string>
#include <utility>

#include "platform/listed_names.h"
#include "platform/platform.h"
#include "util/files.h"
#include "util/names.h"
#include "util/strings.h"

namespace kd::util {

namespace {

// Null and "*" select everything, "" nothing, other text the names that
// begin with it, case ignored.
bool Selected(const char* filter, const std::string& name) {
    if (!filter) return true;
    if (*filter == '\0') return false;
    if (filter[0] == '*' && filter[1] == '\0') return true;
    const auto position = FindNoCase(name.c_str(), filter);
    return position && *position == 0;
}

bool SelectsAll(const char* filter) { return !filter || (filter[0] == '*' && filter[1] == '\0'); }

// The identity of the file `path` names, a link not followed; none (0, 0)
// when it cannot be looked at.
platform::EntryInfo IdentityOf(const char* path) {
    platform::EntryInfo info;
    platform::Error error = platform::Error::None;
    std::string leaf;
    const platform::DirHandle parent = OpenContainingDirectory(path, leaf, error);
    if (!parent || leaf.empty() || platform::InfoAt(parent, leaf, info) != platform::Error::None) return {};
    return info;
}

// Removes the subdirectory `name` of `dir` whole. A link, listed or put in
// the directory's place since, goes as a name and is never entered: what it
// points to may lie outside the tree.
bool RemoveSubdirectoryAt(const platform::DirHandle& dir, const platform::FindEntry& entry,
                          const platform::EntryInfo& keep) {
    platform::Error error = platform::Error::None;
    const platform::DirHandle child = entry.isLink ? nullptr : platform::OpenDirectoryAt(dir, entry, error);
    const bool emptied = !child || RemoveTreeAt(child, "*", "*", keep);
    const bool removable = child || entry.isLink || error == platform::Error::IsLink;
    return removable && platform::RemoveAt(dir, entry, true) == platform::Error::None && emptied;
}

}  // namespace

platform::DirHandle OpenContainingDirectory(std::string path, std::string& leaf, platform::Error& error) {
    const auto isRoot = [](const std::string& head) {
        return head.empty() || head.back() == ':' || (head.size() == 1 && IsSeparator(head[0]));
    };
    // One trailing separator names the same directory.
    if (path.size() > 1 && IsSeparator(path.back()) && !isRoot(path.substr(0, path.size() - 1))) path.pop_back();
    const std::size_t cut = path.find_last_of("\\/");
    leaf = cut == std::string::npos ? path : path.substr(cut + 1);
    std::string parent = cut == std::string::npos ? "." : path.substr(0, cut);
    if (cut != std::string::npos && isRoot(parent)) parent = path.substr(0, cut + 1);
    return platform::OpenDirectory(parent.c_str(), error);
}

bool CreateDirectoryPath(const char* path) {
    if (!path || !*path || std::strlen(path) >= static_cast<std::size_t>(PathBufferSize)) return false;
    platform::Error error = platform::Error::None;
    std::string leaf;
    const platform::DirHandle parent = OpenContainingDirectory(path, leaf, error);
    if (!parent) return false;
    if (leaf.empty()) return true;  // a root
    // Whatever stands at the name counts, a file too.
    error = platform::CreateDirectoryAt(parent, leaf, false);
    return error == platform::Error::None || error == platform::Error::AlreadyExists;
}

bool RemoveTree(const char* directory, bool removeSelf, const char* fileFilter,
                const char* subdirectoryFilter, const char* keepFile) {
    if (!directory) return true;
    // Too long to search: refused rather than taken for a missing directory.
    if (std::strlen(directory) >= static_cast<std::size_t>(PathBufferSize)) return false;
    if (!PathExists(directory)) return true;
    const platform::EntryInfo keep = keepFile ? IdentityOf(keepFile) : platform::EntryInfo{};
    platform::Error error = platform::Error::None;
    if (removeSelf) {
        std::string leaf;
        const platform::DirHandle parent = OpenContainingDirectory(directory, leaf, error);
        platform::FindEntry named;
        named.name = leaf;
        return parent && !leaf.empty() && RemoveSubdirectoryAt(parent, named, keep);
    }
    // A path that is a file cannot be opened or listed as a directory: a failure.
    const platform::DirHandle dir = platform::OpenDirectory(directory, error);
    return dir && RemoveTreeAt(dir, fileFilter, subdirectoryFilter, keep);
}

bool RemoveTreeAt(const platform::DirHandle& dir, const char* fileFilter,
                  const char* subdirectoryFilter, const platform::EntryInfo& keep) {
    std::vector<platform::FindEntry> entries;
    if (platform::ListAt(dir, entries) != platform::Error::None) return false;
    bool result = true;
    for (const platform::FindEntry& entry : entries) {
        // A name the code page cannot hold matches no filter but everything,
        // and goes by the name it was listed with.
        const bool kept = platform::NameKept(entry);
        if (entry.isDirectory) {
            // Covers every name that begins with a dot.
            if (kept ? entry.name.front() == '.' || !Selected(subdirectoryFilter, entry.name)
                     : !SelectsAll(subdirectoryFilter)) {
                continue;
            }
            if (!RemoveSubdirectoryAt(dir, entry, keep)) result = false;
        } else if (kept ? Selected(fileFilter, entry.name) : SelectsAll(fileFilter)) {
            platform::EntryInfo info;
            if (platform::HasIdentity(keep)) {
                // A file that cannot be told from the kept one stays.
                if (platform::InfoAt(dir, entry, info) != platform::Error::None) {
                    result = false;
                    continue;
                }
                if (platform::SameIdentity(info, keep)) continue;
            }
            if (platform::RemoveAt(dir, entry, false) != platform::Error::None) result = false;
        }
    }
    return result;
}

bool ListDirectory(const char* directory, const char* pattern, std::vector<std::string>& names) {
    if (!directory || std::strlen(directory) >= static_cast<std::size_t>(PathBufferSize)) return false;
    platform::Error error = platform::Error::None;
    const platform::DirHandle dir = platform::OpenDirectory(*directory ? directory : ".", error);
    std::vector<platform::FindEntry> entries;
    // A directory that cannot be searched adds nothing.
    if (!dir || platform::ListAt(dir, entries) != platform::Error::None) return true;
    for (platform::FindEntry& entry : entries) {
        if (!entry.isDirectory && platform::NameKept(entry) && (!pattern || WildcardMatch(pattern, entry.name))) {
            names.push_back(std::move(entry.name));
        }
    }
    return true;
}

}  // namespace kd::util
