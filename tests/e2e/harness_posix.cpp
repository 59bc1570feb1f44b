// POSIX side of the end-to-end harness: posix_spawn with files as standard
// input and output, and the stand-in's registry file, which this process
// names in KD_REGISTRY_FILE so that the programs it starts inherit it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "harness.h"
#include "platform/platform.h"

extern char** environ;

namespace kd::e2e {

namespace {
std::string registryFile;
}

RunResult RunProgram(const std::string& program, const std::string& programText,
                     const std::string& workingDirectory, const std::string& input,
                     const std::optional<std::string>& keldo, const std::string& scratch) {
    RunResult result;
    const std::string inputPath = scratch + "/input.txt", outputPath = scratch + "/output.txt";
    std::ofstream(inputPath, std::ios::binary) << input;

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "KELDO=", 6) != 0) environment.emplace_back(*entry);
    }
    if (keldo) environment.push_back("KELDO=" + *keldo);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string argv0 = programText;
    char* argv[] = {argv0.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    result.started = true;

    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.finished = WIFEXITED(status);
    // exit(-1) arrives as 255; report it as the program returned it.
    result.exitCode = result.finished ? static_cast<std::int8_t>(WEXITSTATUS(status)) : -9;

    std::ifstream output(outputPath, std::ios::binary);
    result.output.assign(std::istreambuf_iterator<char>(output), std::istreambuf_iterator<char>());
    return result;
}

// The stand-in holds one byte in each registry unit.
RegistryValue ReadStoredValue(const char* name) {
    RegistryValue value;
    platform::ValueType type{};
    std::u16string units;
    value.exists = platform::ReadEnvironmentRegistryValue(name, units, &type) == platform::RegistryRead::Ok;
    value.type = static_cast<std::uint32_t>(type);
    for (const char16_t unit : units) value.data += static_cast<char>(unit);
    return value;
}

void WriteStoredValue(const char* name, std::uint32_t type, const std::string& bytes) {
    std::u16string units;
    for (const char c : bytes) units += static_cast<char16_t>(static_cast<unsigned char>(c));
    platform::WriteEnvironmentRegistryValue(name, units, static_cast<platform::ValueType>(type));
}

// A string value as its readers see it: up to its first NUL.
RegistryValue ReadValue(const char* name) {
    RegistryValue value = ReadStoredValue(name);
    value.data.resize(std::strlen(value.data.c_str()));
    return value;
}

void WriteValue(const char* name, std::uint32_t type, const std::string& data) {
    WriteStoredValue(name, type, data);
}

// The file holds only KELDO and PATH here: rewrite it without `name`.
void DeleteValue(const char* name) {
    const char* other = std::strcmp(name, "KELDO") == 0 ? "PATH" : "KELDO";
    const RegistryValue kept = ReadValue(other);
    std::remove(registryFile.c_str());
    if (kept.exists) WriteValue(other, kept.type, kept.data);
}

void BeginRegistry(const std::string& scratch) {
    registryFile = scratch + "/registry.txt";
    setenv("KD_REGISTRY_FILE", registryFile.c_str(), 1);
}

void EndRegistry() {
    std::remove(registryFile.c_str());
    unsetenv("KD_REGISTRY_FILE");
}

}  // namespace kd::e2e
