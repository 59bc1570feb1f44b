// Stand-in for the server executable kds.exe: appends how it was started, its
// command line and working directory, to "kds.log" beside itself and ends at
// once. The exit code comes from KDS_EXIT_CODE (default 0), so tests can show
// that the installer does not look at it.
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::string CommandLine(int, char**) { return GetCommandLineA(); }

std::string WorkingDirectory() {
    char buffer[32768];
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string OwnPath() {
    char buffer[32768];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, length < sizeof buffer ? length : 0);
}
#else
// There is no raw command line here: the arguments as received, blank-separated.
std::string CommandLine(int argc, char** argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) line += ' ';
        line += argv[i];
    }
    return line;
}

std::string WorkingDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string OwnPath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::string log = OwnPath();
    const std::size_t separator = log.find_last_of("\\/");
    log = (separator == std::string::npos ? std::string() : log.substr(0, separator + 1)) + "kds.log";
    if (std::FILE* file = std::fopen(log.c_str(), "ab")) {
        const std::string record = "command line: " + CommandLine(argc, argv) +
                                   "\nworking directory: " + WorkingDirectory() + "\n";
        std::fwrite(record.data(), 1, record.size(), file);
        std::fclose(file);
    }
    const char* code = std::getenv("KDS_EXIT_CODE");
    return code != nullptr ? std::atoi(code) : 0;
}
