// Helpers of the package suites.
#include "package_support.h"

#include <filesystem>

#include "codec/encoder.h"

namespace kd::test {

Snapshot TakeSnapshot(const std::string& root) {
    Snapshot snapshot;
    for (const std::string& entry : ListTree(root)) {
        snapshot[entry] = entry.back() == '/' ? std::string() : ReadFile(root + "/" + entry);
    }
    return snapshot;
}

bool HasTemporaryFile(const std::string& root) {
    const std::string suffix = ".kd_temp";
    for (const std::string& entry : ListTree(root)) {
        if (entry.size() >= suffix.size() &&
            entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return true;
        }
    }
    return false;
}

bool WritePackage(const std::string& path, const std::string& script) {
    std::string container;
    return codec::PackageEncoder().Encode(script, container) && WriteFile(path, container);
}

std::string WithCrLf(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
        result += text[i];
    }
    return result;
}

std::string Expand(std::string text, const std::string& packagePath,
                   const std::string& destination) {
    for (const auto& [key, value] : {std::pair<std::string, const std::string&>{"{P}", packagePath},
                                     {"{D}", destination}}) {
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

bool Installation::Install(const std::string& script, bool showProgress) {
    if (!WritePackage(packagePath, script)) {
        package.errorText = "test: package not written";
        return false;
    }
    return package.Install(packagePath, destination, showProgress);
}

WorkingDirectory::WorkingDirectory(const std::string& directory)
    : previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(directory);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
}

}  // namespace kd::test
