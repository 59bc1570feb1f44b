// KELDO and PATH in the machine environment.
#include "driver/environment.h"

#include <algorithm>
#include <cassert>
#include <optional>
#include <string_view>
#include <utility>

#include "util/strings.h"

namespace kd::driver {

namespace {

constexpr const char* ProductName = "KELDO";
constexpr std::u16string_view ProductUnits = u"KELDO";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// PATH entries and the old Bin text compare with ASCII letters in any case
// and "/" as "\"; no other unit is folded.
char16_t Folded(char16_t c) {
    if (c == u'/') return u'\\';
    return c < 0x80 ? static_cast<char16_t>(util::AsciiUpper(static_cast<char>(c))) : c;
}

std::size_t LeadingBlanks(std::u16string_view text) {
    std::size_t blanks = 0;
    while (blanks < text.size() && IsBlank(text[blanks])) ++blanks;
    return blanks;
}

bool StartsWithFolded(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Folded(text[i]) != Folded(prefix[i])) return false;
    }
    return true;
}

// An entry as it names its directory: without the blanks around it, one
// pair of enclosing quotes and one trailing backslash.
std::u16string_view EntryDirectory(std::u16string_view entry) {
    entry.remove_prefix(LeadingBlanks(entry));
    while (!entry.empty() && IsBlank(entry.back())) entry.remove_suffix(1);
    if (entry.size() >= 2 && entry.front() == u'"' && entry.back() == u'"') entry = entry.substr(1, entry.size() - 2);
    if (!entry.empty() && Folded(entry.back()) == u'\\') entry.remove_suffix(1);
    return entry;
}

// The first entry, as [start, end) in `path`, for which `test` holds.
template <typename Test>
std::optional<std::pair<std::size_t, std::size_t>> FindEntry(std::u16string_view path, Test test) {
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(path.find(u';', start), path.size());
        if (test(path.substr(start, end - start))) return std::pair(start, end);
        if (end == path.size()) return std::nullopt;
        start = end + 1;
    }
}

}  // namespace

std::u16string RewritePath(const std::u16string& path, const std::u16string& binDirectory,
                           const std::u16string& oldBinText) {
    assert(!oldBinText.empty());
    // The previous Bin entry itself is replaced whole.
    const auto namesOldBin = [&](std::u16string_view entry) {
        const std::u16string_view directory = EntryDirectory(entry);
        return directory.size() == oldBinText.size() && StartsWithFolded(directory, oldBinText);
    };
    if (const auto entry = FindEntry(path, namesOldBin)) {
        return path.substr(0, entry->first) + binDirectory + path.substr(entry->second);
    }

    // A directory below it keeps its rest behind the new Bin directory. Only
    // the start of an entry counts: "C:\keldo\Bin" is no part of
    // "XC:\keldo\Bin\x", nor of "C:\keldo\Binaries".
    const auto belowOldBin = [&](std::u16string_view entry) {
        entry.remove_prefix(LeadingBlanks(entry));
        return entry.size() > oldBinText.size() && StartsWithFolded(entry, oldBinText) &&
               Folded(entry[oldBinText.size()]) == u'\\';
    };
    if (const auto entry = FindEntry(path, belowOldBin)) {
        const std::size_t start = entry->first + LeadingBlanks(std::u16string_view(path).substr(entry->first));
        return path.substr(0, start) + binDirectory + path.substr(start + oldBinText.size());
    }

    // Only ASCII letters fold, so positions in `upper` are positions in `path`.
    std::u16string upper = path;
    util::MakeUpper(upper);
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

std::string UpdateSystemEnvironment(util::Console& console, const std::string& destination,
                                    const std::string& defaultDestination) {
    Print(console, "\nUpdating environment...");

    // The dialogue gives the destination in the installer's form already;
    // a caller that passes one with its separator still writes none.
    std::string keldo = destination;
    util::RemoveTrailingSeparator(keldo);
    const bool keldoWritten = platform::WriteEnvironmentRegistryValue(
        ProductName, platform::WidenAnsi(keldo), platform::ValueType::String);

    std::string binDirectory = keldo;
    util::AddTrailingBackslash(binDirectory);
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

    // Compared as registry units: in a double-byte code page a trail byte may
    // be an ASCII letter, which must not fold.
    std::string oldBin = defaultDestination;
    util::AddTrailingBackslash(oldBin);
    oldBin += "Bin";
    const std::u16string newPath =
        RewritePath(path, platform::WidenAnsi(binDirectory), platform::WidenAnsi(oldBin));
    if (platform::WriteEnvironmentRegistryValue("PATH", newPath, platform::ValueType::ExpandString)) {
        platform::BroadcastEnvironmentChange();
    }
    return binDirectory;
}

}  // namespace kd::driver
