// KELDO and PATH in the machine environment.
#include "driver/environment.h"

#include "platform/platform.h"
#include "util/strings.h"

namespace kd {

namespace {
constexpr const char* ProductName = "KELDO";
}  // namespace

std::string RewritePath(const std::string& path, const std::string& binDirectory,
                        const std::string& oldBinText) {
    // Case conversion keeps the length, so positions in `upper` are positions in `path`.
    std::string upper = path;
    MakeUpper(upper);

    const std::size_t oldBin = upper.find(oldBinText);
    if (!oldBinText.empty() && oldBin != std::string::npos) {
        // Only the matched characters: the rest of that entry stays behind.
        return path.substr(0, oldBin) + binDirectory + path.substr(oldBin + oldBinText.size());
    }

    const std::size_t product = upper.find(ProductName);
    if (product == std::string::npos) {
        return path.empty() ? binDirectory : path + ";" + binDirectory;
    }

    // The whole entry holding the product name is replaced.
    std::string head = path.substr(0, product);
    const std::size_t headEnd = head.rfind(';');
    head = headEnd == std::string::npos ? std::string() : head.substr(0, headEnd);
    std::string tail = path.substr(product);
    const std::size_t tailStart = tail.find(';');
    tail = tailStart == std::string::npos ? std::string() : tail.substr(tailStart);
    return head + (head.empty() ? "" : ";") + binDirectory + tail;
}

std::string UpdateSystemEnvironment(Console& console, const std::string& destination,
                                    const std::string& defaultDestination) {
    Print(console, "\nUpdating environment...");

    std::string keldo = destination;
    RemoveTrailingSeparator(keldo);
    const bool keldoWritten =
        platform::WriteEnvironmentRegistryValue(ProductName, keldo, platform::ValueType::String);

    std::string binDirectory = keldo;
    AddTrailingBackslash(binDirectory);
    binDirectory += "Bin";

    std::string path;
    if (platform::ReadEnvironmentRegistryValue("PATH", path) == platform::RegistryRead::Failed) {
        // Treating an unreadable PATH as absent would replace every entry by
        // the Bin directory: leave it as it is. KELDO may still have changed.
        if (keldoWritten) platform::BroadcastEnvironmentChange();
        return binDirectory;
    }

    std::string oldBinText = defaultDestination;
    AddTrailingBackslash(oldBinText);
    oldBinText += "Bin";
    MakeUpper(oldBinText);

    if (platform::WriteEnvironmentRegistryValue("PATH", RewritePath(path, binDirectory, oldBinText),
                                                platform::ValueType::ExpandString)) {
        platform::BroadcastEnvironmentChange();
    }
    return binDirectory;
}

}  // namespace kd
