// KELDO and PATH in the machine environment.
#include "driver/environment.h"

#include "driver/dialogue.h"
#include "util/strings.h"

namespace kd {

namespace {
constexpr const char* ProductName = "KELDO";
constexpr std::u16string_view ProductUnits = u"KELDO";
}  // namespace

std::u16string RewritePath(const std::u16string& path, const std::u16string& binDirectory,
                           const std::u16string& oldBinText, bool oldBinAnywhere) {
    // Only ASCII letters fold, so positions in `upper` are positions in `path`.
    std::u16string upper = path;
    MakeUpper(upper);

    std::size_t oldBin = upper.find(oldBinText);
    while (!oldBinAnywhere && oldBin != std::u16string::npos && oldBin != 0 && upper[oldBin - 1] != u';') {
        oldBin = upper.find(oldBinText, oldBin + 1);
    }
    if (!oldBinText.empty() && oldBin != std::u16string::npos) {
        // Only the matched units: the rest of that entry stays behind.
        return path.substr(0, oldBin) + binDirectory + path.substr(oldBin + oldBinText.size());
    }

    const std::size_t product = upper.find(ProductUnits);
    if (product == std::u16string::npos) {
        return path.empty() ? binDirectory : path + u";" + binDirectory;
    }

    // The whole entry holding the product name is replaced.
    std::u16string head = path.substr(0, product);
    const std::size_t headEnd = head.rfind(u';');
    head = headEnd == std::u16string::npos ? std::u16string() : head.substr(0, headEnd);
    std::u16string tail = path.substr(product);
    const std::size_t tailStart = tail.find(u';');
    tail = tailStart == std::u16string::npos ? std::u16string() : tail.substr(tailStart);
    return head + (head.empty() ? u"" : u";") + binDirectory + tail;
}

bool RewritablePath(const std::u16string& stored, platform::ValueType type, std::u16string& path) {
    if (type != platform::ValueType::String && type != platform::ValueType::ExpandString) return false;
    path = stored;
    if (!path.empty() && path.back() == u'\0') path.pop_back();
    // A NUL inside would cut the value short when it is written back.
    return path.find(u'\0') == std::u16string::npos;
}

std::string UpdateSystemEnvironment(Console& console, const std::string& destination,
                                    const std::string& defaultDestination) {
    Print(console, "\nUpdating environment...");

    std::string keldo = destination;
    RemoveTrailingSeparator(keldo);
    const bool keldoWritten = platform::WriteEnvironmentRegistryValue(
        ProductName, platform::WidenAnsi(keldo), platform::ValueType::String);

    std::string binDirectory = keldo;
    AddTrailingBackslash(binDirectory);
    binDirectory += "Bin";

    std::u16string stored, path;
    platform::ValueType type = platform::ValueType::String;
    const platform::RegistryRead read = platform::ReadEnvironmentRegistryValue("PATH", stored, &type);
    if (read == platform::RegistryRead::Failed ||
        (read == platform::RegistryRead::Ok && !RewritablePath(stored, type, path))) {
        // Treating such a PATH as absent would replace every entry by the Bin
        // directory: leave it as it is. KELDO may still have changed.
        if (keldoWritten) platform::BroadcastEnvironmentChange();
        return binDirectory;
    }

    // Widened before folding: in a double-byte code page a trail byte may be
    // an ASCII letter, which must not change.
    std::string oldBin = defaultDestination;
    AddTrailingBackslash(oldBin);
    oldBin += "Bin";
    std::u16string oldBinText = platform::WidenAnsi(oldBin);
    MakeUpper(oldBinText);

    // A KELDO left relative by an earlier installation ("y") gives an old Bin
    // text that ends other entries ("C:\Ruby\Bin"): it counts only where an
    // entry begins.
    const std::u16string newPath =
        RewritePath(path, platform::WidenAnsi(binDirectory), oldBinText, IsFullPath(defaultDestination));
    if (platform::WriteEnvironmentRegistryValue("PATH", newPath, platform::ValueType::ExpandString)) {
        platform::BroadcastEnvironmentChange();
    }
    return binDirectory;
}

}  // namespace kd
