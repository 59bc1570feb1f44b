// Windows side of the end-to-end harness: CreateProcessA with redirected
// standard handles and an environment block of our own, and the registry
// values under the machine environment key (in the Wine prefix of the run).
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "harness.h"

namespace kd::e2e {

namespace {

constexpr const char* EnvironmentKey = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const wchar_t* WideEnvironmentKey =
    L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";

class Handle {
public:
    explicit Handle(HANDLE handle) : handle(handle) {}
    ~Handle() {
        if (Valid()) CloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }

private:
    HANDLE handle;
};

// This process's environment less KELDO, plus KELDO when given.
std::vector<char> EnvironmentBlock(const std::optional<std::string>& keldo) {
    std::vector<char> block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (_strnicmp(entry, "KELDO=", 6) == 0) continue;
        block.insert(block.end(), entry, entry + std::strlen(entry) + 1);
    }
    FreeEnvironmentStringsA(strings);
    if (keldo) {
        const std::string entry = "KELDO=" + *keldo;
        block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    block.push_back('\0');
    return block;
}

std::map<std::string, RegistryValue> saved;

}  // namespace

RunResult RunProgram(const std::string& program, const std::string& programText,
                     const std::string& workingDirectory, const std::string& input,
                     const std::optional<std::string>& keldo, const std::string& scratch) {
    return RunCommandLine(program, "\"" + programText + "\"", workingDirectory, input, keldo, scratch);
}

RunResult RunCommandLine(const std::string& program, const std::string& commandLine,
                         const std::string& workingDirectory, const std::string& input,
                         const std::optional<std::string>& keldo, const std::string& scratch) {
    RunResult result;
    // New names every run: a Wine background process a run started may hold its files.
    static int runs = 0;
    const std::string inputPath = scratch + "\\input" + std::to_string(++runs) + ".txt";
    const std::string outputPath = scratch + "\\output" + std::to_string(runs) + ".txt";
    std::ofstream(inputPath, std::ios::binary) << input;

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle in(CreateFileA(inputPath.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    Handle out(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.Valid() || !out.Valid()) return result;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.Get();
    startup.hStdOutput = out.Get();
    startup.hStdError = out.Get();
    PROCESS_INFORMATION information{};
    std::string line = commandLine;
    std::vector<char> environment = EnvironmentBlock(keldo);
    // Under heavy load Wine now and then fails to create a process that starts
    // fine a moment later; a few tries keep that out of the results.
    bool created = false;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        if (attempt > 0) Sleep(1000);
        created = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                 environment.data(), workingDirectory.c_str(), &startup, &information);
    }
    if (!created) return result;
    result.started = true;
    Handle process(information.hProcess), thread(information.hThread);
    if (WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 10000);
    } else {
        result.finished = true;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    result.exitCode = static_cast<std::int32_t>(code);

    std::ifstream output(outputPath, std::ios::binary);
    result.output.assign(std::istreambuf_iterator<char>(output), std::istreambuf_iterator<char>());
    return result;
}

RegistryValue ReadValue(const char* name) {
    RegistryValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<char> data(size + 1, '\0');
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            value.exists = true;
            value.type = type;
            value.data.assign(data.data());
        }
    }
    RegCloseKey(key);
    return value;
}

void WriteValue(const char* name, std::uint32_t type, const std::string& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

void DeleteValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EnvironmentKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

RegistryValue ReadStoredValue(const char* name) {
    RegistryValue value;
    HKEY key = nullptr;
    const std::wstring wideName(name, name + std::strlen(name));  // ASCII names
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, WideEnvironmentKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS) {
            value.exists = true;
            value.type = type;
            value.data = data.substr(0, size);
        }
    }
    RegCloseKey(key);
    return value;
}

void WriteStoredValue(const char* name, std::uint32_t type, const std::string& bytes) {
    HKEY key = nullptr;
    const std::wstring wideName(name, name + std::strlen(name));
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideEnvironmentKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, wideName.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void BeginRegistry(const std::string&) {
    saved.clear();
    for (const char* name : {"KELDO", "PATH"}) saved[name] = ReadValue(name);
}

void EndRegistry() {
    for (const auto& [name, value] : saved) {
        if (value.exists) {
            WriteValue(name.c_str(), value.type, value.data);
        } else {
            DeleteValue(name.c_str());
        }
    }
}

}  // namespace kd::e2e
