// The installer's judgements on a script. Operating-system independent.
#include "script/rules.h"

#include <algorithm>

#include "util/names.h"
#include "util/strings.h"

namespace kd::script {

const char* PackageName(Role role) { return role == Role::Core ? CorePackage : WindowPackage; }

std::string PackageFileName(const std::string& packagePath) {
    const std::size_t separator = packagePath.find_last_of("/\\");
    return separator == std::string::npos ? packagePath : packagePath.substr(separator + 1);
}

NameRefusal RefusedName(const std::string& name, bool usedAsWritten) {
    if (util::ClimbsUp(name)) return NameRefusal::ClimbsUp;
    if (util::NamesDevice(name)) return NameRefusal::Device;
    if (!usedAsWritten) return NameRefusal::None;
    if (!name.empty() && util::IsSeparator(name[0])) return NameRefusal::Absolute;
    if (name.find(':') != std::string::npos) return NameRefusal::Drive;
    return NameRefusal::None;
}

bool WithSubdirectories(const std::string& value) { return value == "YES"; }

std::string UpperCaseName(std::string name) {
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        unsigned char upper = byte;
        if (byte >= 'a' && byte <= 'z') upper = byte - 0x20;
        // Latin-1 letters sit 0x20 above their capitals; 0xF7 is the division sign.
        else if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) upper = byte - 0x20;
        else if (byte == 0x9A || byte == 0x9C || byte == 0x9E) upper = byte - 0x10;  // s, oe, z with marks
        else if (byte == 0xFF) upper = 0x9F;  // y with diaeresis
        c = static_cast<char>(upper);
    }
    return name;
}

std::string WindowsKey(const std::string& path) {
    std::string key;
    for (std::size_t begin = 0; begin <= path.size();) {
        const std::size_t end = std::min(path.find_first_of("\\/", begin), path.size());
        std::string level = path.substr(begin, end - begin);
        level.erase(level.find_last_not_of(". ") + 1);
        if (!level.empty()) key += (key.empty() ? "" : "\\") + level;
        begin = end + 1;
    }
    return UpperCaseName(key);
}

bool TouchesScriptCopy(Command command, const std::string& directory, const std::string& name,
                       const std::string& packageName) {
    if (packageName.empty()) return false;
    const std::string script = WindowsKey(packageName + TemporarySuffix);
    std::string target = directory;
    util::AddTrailingBackslash(target);
    target += name;
    switch (command) {
    case Command::File:
        return !IsSkippedFile(name) && WindowsKey(target) == script;
    case Command::TextFile:
        // The conversion writes target + ".kd_temp" and then deletes it.
        return WindowsKey(target) == script || WindowsKey(target + TemporarySuffix) == script;
    default:
        return false;
    }
}

std::string Section(Command command, const std::string& name) {
    return std::string("[") + CommandName(command) + "]\n" + NameMarker + name + "\n";
}

std::string FileSection(const std::string& name, std::uint64_t size) {
    return Section(Command::File, name) + SizeMarker + std::to_string(size) + "\n";
}

}  // namespace kd::script
