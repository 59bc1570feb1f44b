// Planted links and descriptors on Windows. Links and owners only under Wine:
// its Unix tools are started like Windows programs, on the Unix names of the
// paths (wine_get_unix_file_name).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/platform.h"
#include "support/planted.h"
#include "support/temp_dir.h"

namespace kd::test {

namespace {

std::string UnixName(const std::string& path) {
    using UnixFileName = char*(CDECL*)(const WCHAR*);
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    const auto convert = kernel32 ? reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
                                        ::GetProcAddress(kernel32, "wine_get_unix_file_name")))
                                  : nullptr;
    if (!convert) return {};
    std::wstring wide(path.size() + 1, L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(),
                                             static_cast<int>(wide.size()));
    if (length == 0) return {};
    char* unix = convert(wide.c_str());
    if (!unix) return {};
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

// Starts a Unix program (Wine starts an ELF file given by a drive path). Wine
// gives no handle for it, so callers wait for its effect instead.
bool StartUnix(const char* program, const std::string& arguments) {
    std::string commandLine = std::string(program) + " " + arguments;
    const std::string application = std::string("Z:\\bin\\") + program;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &process)) {
        return false;
    }
    if (process.hThread) ::CloseHandle(process.hThread);
    if (process.hProcess) ::CloseHandle(process.hProcess);
    return true;
}

// True once `done` holds, false when it still does not after about 5 s.
template <typename Done>
bool WaitFor(Done done) {
    for (int step = 0; step < 100; ++step) {
        if (done()) return true;
        ::Sleep(50);
    }
    return done();
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(sid, &text)) return "?";
    std::string result = text;
    ::LocalFree(text);
    return result;
}

}  // namespace

std::string RunningAccountSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::vector<BYTE> buffer(256);
    DWORD size = 0;
    const BOOL ok = ::GetTokenInformation(token, TokenUser, buffer.data(),
                                          static_cast<DWORD>(buffer.size()), &size);
    ::CloseHandle(token);
    return ok ? SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid) : std::string();
}

bool CanPlantLinks() {
    // Wine shows every owner but root and the running user as another user:
    // giving a file away works only when Wine runs as root.
    static const bool can = [] {
        if (!RunningUnderWine()) return false;
        TempDir probe;
        const std::string file = probe / "probe";
        return WriteFile(file, "") && GiveToOtherUser(file);
    }();
    return can;
}

bool MakeLink(const std::string& target, const std::string& link) {
    const std::string from = UnixName(target), to = UnixName(link);
    if (from.empty() || to.empty() || !StartUnix("ln", "-s " + Quoted(from) + " " + Quoted(to))) {
        return false;
    }
    return WaitFor([&] { return platform::KindOfName(link.c_str()) != platform::NameKind::Missing; });
}

bool MakeHardLink(const std::string& target, const std::string& link) {
    return ::CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != 0;
}

bool MakeFifo(const std::string&) { return false; }

bool GiveToOtherUser(const std::string& path) {
    const std::string name = UnixName(path);
    if (name.empty() || !StartUnix("chown", "4242:4242 " + Quoted(name))) return false;
    return WaitFor([&] { return !platform::OwnerTrusted(path.c_str()); });
}

std::vector<std::string> OtherWriters(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {"unreadable"};
    }
    std::vector<std::string> writers;
    if (!dacl) writers.push_back("no DACL");
    const std::string self = RunningAccountSid();
    constexpr DWORD writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if ((allowed->Mask & writeRights) == 0) continue;
        const std::string sid = SidText(&allowed->SidStart);
        if (sid == "S-1-5-18" || sid == "S-1-5-32-544" || sid == self) continue;
        writers.push_back(sid);
    }
    ::LocalFree(descriptor);
    return writers;
}

unsigned SetUmask(unsigned) { return 0; }

bool OtherUserCanWrite(const std::string&) { return false; }

}  // namespace kd::test
