// Directory operations: create one level, empty a tree, list files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kd::util {

// True if the path exists afterwards, as a file or directory that was there
// or as a directory created now (last level only).
bool CreateDirectoryPath(const char* path);

// Empties `directory`. With removeSelf false: files whose names begin with
// fileFilter (case ignored; null or "*" every file, "" none) are deleted, and
// subdirectories selected by subdirectoryFilter are removed whole; the
// directory itself stays. Directories whose names begin with "." are never
// entered. With removeSelf true everything goes and then the directory
// itself. A missing directory is success. Every entry is tried; false if any
// selected entry could not be removed. `keepFile`, when given, names a file
// that is passed over wherever it lies in the tree (same file, however spelt).
bool RemoveTree(const char* directory, bool removeSelf, const char* fileFilter,
                const char* subdirectoryFilter, const char* keepFile = nullptr);

// RemoveTree with removeSelf false through directory handles: `dir` is
// emptied as selected; a link is removed as a name and never entered, also
// one that took a directory's place during the removal. The file whose
// identity is `keep` (volume, index; none when both are 0) is passed over.
bool RemoveTreeAt(const platform::DirHandle& dir, const char* fileFilter,
                  const char* subdirectoryFilter, const platform::EntryInfo& keep);

// Appends the names of the files (not directories) of `directory` matching
// `pattern` (null means "*") to `names`, in the file system's order. A
// directory that cannot be searched adds nothing. False only for a null path.
bool ListDirectory(const char* directory, const char* pattern, std::vector<std::string>& names);

}  // namespace kd::util
