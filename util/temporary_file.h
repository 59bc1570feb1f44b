// A temporary file that is deleted when it goes out of scope, unless kept.
#pragma once

#include <string>
#include <utility>

#include "util/files.h"

namespace kd {

class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path(std::move(path)) {}
    ~TemporaryFile() {
        if (!kept) RemoveFile(path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const char* Path() const { return path.c_str(); }
    void Keep() { kept = true; }

private:
    std::string path;
    bool kept = false;
};

}  // namespace kd
