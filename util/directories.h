// Directory operations: create one level, empty a tree, list files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kd::util {

// Opens the directory that holds the last level of `path`, links followed
// (platform::OpenDirectory), and names that level in `leaf`: empty when the
// path is a root ("c:\", "\"). One trailing separator is ignored; a path
// without a separator names a level of the working directory. Null with
// `error` set when the directory cannot be opened.
platform::DirHandle OpenContainingDirectory(std::string path, std::string& leaf, platform::Error& error);

// True if the path exists afterwards: something stood at the name (a file, a
// directory, a link) or a directory was created there now (last level only).
bool CreateDirectoryPath(const char* path);

// Empties `directory` through RemoveTreeAt. With removeSelf false: files
// whose names begin with fileFilter (case ignored; null or "*" every file, ""
// none) are deleted, and subdirectories selected by subdirectoryFilter are
// removed whole; the directory itself stays. Directories whose names begin
// with "." are never entered. With removeSelf true everything goes and then
// the directory itself (a link at `directory` goes as a name). A missing
// directory is success. Every entry is tried; false if any selected entry
// could not be removed. `keepFile`, when given, names a file that is passed
// over wherever it lies in the tree (same file, however spelt).
bool RemoveTree(const char* directory, bool removeSelf, const char* fileFilter,
                const char* subdirectoryFilter, const char* keepFile = nullptr);

// RemoveTree with removeSelf false on a directory held open: `dir` is
// emptied as selected; a link is removed as a name and never entered, also
// one that took a directory's place during the removal. The file whose
// identity is `keep` (volume, index; none when both are 0) is passed over.
bool RemoveTreeAt(const platform::DirHandle& dir, const char* fileFilter,
                  const char* subdirectoryFilter, const platform::EntryInfo& keep);

// Appends the names of the files (not directories) of `directory` (empty: the
// working directory) matching `pattern` (null means "*"; WildcardMatch) to
// `names`, in the file system's order (platform::ListAt). A directory that
// cannot be listed adds nothing. False only for a null or over-long path.
bool ListDirectory(const char* directory, const char* pattern, std::vector<std::string>& names);

}  // namespace kd::util
