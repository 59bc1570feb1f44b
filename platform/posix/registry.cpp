// POSIX stand-in for the machine environment key: the values live in a small
// text file named by KD_REGISTRY_FILE. Without that variable the key cannot be
// opened, so no run ever writes a real system file. The settings-change
// broadcast has no counterpart and does nothing.
//
// File format, one record per value:
//   NAME <TAB> TYPE <TAB> LENGTH <LF> LENGTH bytes of data <LF>
// TYPE is REG_SZ, REG_EXPAND_SZ or a number. The length makes any byte safe
// in a value. A record that cannot be parsed ends the readable part: values
// behind it count as existing but unreadable, and the damaged text is kept
// as it is when the file is rewritten.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <strings.h>

#include "platform/platform.h"

namespace kd::platform {

namespace {

struct Record {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
};

struct Contents {
    std::vector<Record> records;
    std::string damagedTail;  // unparsed bytes from the first bad record on
};

const char* RegistryFile() {
    const char* path = std::getenv("KD_REGISTRY_FILE");
    return (path != nullptr && *path != '\0') ? path : nullptr;
}

bool SameName(const std::string& a, const char* b) {
    return ::strcasecmp(a.c_str(), b) == 0;  // registry names ignore case
}

std::string TypeText(std::uint32_t type) {
    if (type == static_cast<std::uint32_t>(ValueType::String)) return "REG_SZ";
    if (type == static_cast<std::uint32_t>(ValueType::ExpandString)) return "REG_EXPAND_SZ";
    return std::to_string(type);
}

bool ParseType(const std::string& text, std::uint32_t& type) {
    if (text == "REG_SZ") { type = 1; return true; }
    if (text == "REG_EXPAND_SZ") { type = 2; return true; }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    type = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

Contents Parse(const std::string& text) {
    Contents contents;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t lineEnd = text.find('\n', position);
        const std::size_t firstTab = text.find('\t', position);
        const std::size_t secondTab =
            firstTab == std::string::npos ? std::string::npos : text.find('\t', firstTab + 1);
        bool ok = lineEnd != std::string::npos && secondTab != std::string::npos &&
                  secondTab < lineEnd && firstTab > position;
        Record record;
        std::size_t length = 0;
        if (ok) {
            record.name = text.substr(position, firstTab - position);
            const std::string lengthText = text.substr(secondTab + 1, lineEnd - secondTab - 1);
            ok = ParseType(text.substr(firstTab + 1, secondTab - firstTab - 1), record.type) &&
                 !lengthText.empty() &&
                 lengthText.find_first_not_of("0123456789") == std::string::npos;
            if (ok) {
                length = std::strtoull(lengthText.c_str(), nullptr, 10);
                ok = length <= text.size() && lineEnd + 1 + length < text.size() &&
                     text[lineEnd + 1 + length] == '\n';
            }
        }
        if (!ok) {
            contents.damagedTail = text.substr(position);
            break;
        }
        record.data = text.substr(lineEnd + 1, length);
        contents.records.push_back(std::move(record));
        position = lineEnd + 1 + length + 1;
    }
    return contents;
}

enum class Load { Ok, Missing, Failed };

Load LoadFile(const char* path, std::string& text) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return errno == ENOENT ? Load::Missing : Load::Failed;
    char block[4096];
    std::size_t count;
    while ((count = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? Load::Failed : Load::Ok;
}

// Writes through a temporary file and a rename, so a failed write never
// leaves half a file behind.
bool StoreFile(const char* path, const std::string& text) {
    const std::string temporary = std::string(path) + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path) == 0;
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

}  // namespace

bool WriteEnvironmentRegistryValue(const char* name, const std::u16string& units, ValueType type) {
    const char* path = RegistryFile();
    if (path == nullptr) return false;
    std::string value;
    value.reserve(units.size());
    for (const char16_t unit : units) {
        if (unit > 0xFF) return false;
        value += static_cast<char>(unit);
    }
    std::string text;
    if (LoadFile(path, text) == Load::Failed) return false;
    Contents contents = Parse(text);

    bool replaced = false;
    for (Record& record : contents.records) {
        if (SameName(record.name, name)) {  // the stored spelling of the name stays
            record.type = static_cast<std::uint32_t>(type);
            record.data = value;
            replaced = true;
            break;
        }
    }
    if (!replaced) contents.records.push_back({name, static_cast<std::uint32_t>(type), value});

    std::string out;
    for (const Record& record : contents.records) {
        out += record.name + '\t' + TypeText(record.type) + '\t' +
               std::to_string(record.data.size()) + '\n' + record.data + '\n';
    }
    out += contents.damagedTail;
    // Creating the file is what opening (creating) the key stands for here.
    return StoreFile(path, out);
}

RegistryRead ReadEnvironmentRegistryValue(const char* name, std::u16string& value, ValueType* type) {
    value.clear();
    const char* path = RegistryFile();
    if (path == nullptr) return RegistryRead::Missing;
    std::string text;
    switch (LoadFile(path, text)) {
        case Load::Missing: return RegistryRead::Missing;
        case Load::Failed: return RegistryRead::Failed;
        case Load::Ok: break;
    }
    const Contents contents = Parse(text);
    for (const Record& record : contents.records) {
        if (SameName(record.name, name)) {
            // Every stored byte, NULs included, as one unit.
            for (const char c : record.data) value += static_cast<char16_t>(static_cast<unsigned char>(c));
            if (type != nullptr) *type = static_cast<ValueType>(record.type);
            return RegistryRead::Ok;
        }
    }
    return contents.damagedTail.empty() ? RegistryRead::Missing : RegistryRead::Failed;
}

void BroadcastEnvironmentChange() {}

}  // namespace kd::platform
