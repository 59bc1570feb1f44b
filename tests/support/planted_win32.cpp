// Planted links and descriptors on Windows. Links and owners only under Wine:
// its Unix tools are started like Windows programs, on the Unix names of the
// paths (wine_get_unix_file_name).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/security.h"
#include "support/planted.h"
#include "support/temp_dir.h"
#include "trust/judge.h"

namespace kd::test {

namespace {

// Paths and Unix commands are UTF-8 here, so that a test can give names the
// code page lacks; a trailing dot is kept only by the "\\?\" form.
std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(std::max(0, length - 1)));
    return wide;
}

std::wstring WidePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::wstring wide = Wide(path);
    const bool dotted = path.size() > 2 && path[1] == ':' && path.back() == '.' && path[path.size() - 2] != '\\' &&
                        path[path.size() - 2] != '.';
    return dotted ? L"\\\\?\\" + wide : wide;
}

std::string UnixName(const std::string& path) {
    using UnixFileName = char*(CDECL*)(const WCHAR*);
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    const auto convert = kernel32 ? reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
                                        ::GetProcAddress(kernel32, "wine_get_unix_file_name")))
                                  : nullptr;
    const std::wstring wide = WidePath(path);
    if (!convert || wide.empty()) return {};
    char* unix = convert(wide.c_str());
    if (!unix) return {};
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

// Starts a Unix program (Wine starts an ELF file given by a drive path). Wine
// gives no handle for it, so callers wait for its effect instead.
bool StartUnix(const char* program, const std::string& arguments) {
    std::wstring commandLine = Wide(std::string(program) + " " + arguments);
    const std::wstring application = Wide(std::string("Z:\\bin\\") + program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
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

// Whether the owner of what `path` names is trusted (Wine shows a link's
// target's owner for the link anyway).
bool OwnerTrusted(const std::string& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(WidePath(path).c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool trusted = trust::Trusted(platform::AccountOfSid(owner));
    ::LocalFree(descriptor);
    return trusted;
}

}  // namespace

std::string RunningAccountSid() { return platform::TokenUserSid(); }

NameKind KindOfName(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? NameKind::Missing
                                                                            : NameKind::Link;
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? NameKind::Link : NameKind::Plain;
}

int InterruptChild(const std::function<void()>&, const std::function<bool()>&, int) { return -1; }

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
    return WaitFor([&] { return KindOfName(link) != NameKind::Missing; });
}

bool MakeHardLink(const std::string& target, const std::string& link) {
    return ::CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != 0;
}

bool MakeFifo(const std::string&) { return false; }

std::wstring LongPath(const std::string& path) {
    std::wstring wide = WidePath(path);
    if (wide.rfind(L"\\\\?\\", 0) != 0) wide.insert(0, L"\\\\?\\");
    return wide;
}

bool RemoveNamedFile(const std::string& path) { return ::DeleteFileW(LongPath(path).c_str()) != 0; }

bool WriteNamedFile(const std::string& path, const std::string& content) {
    platform::ScopedFileHandle file(
        ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file.Valid() &&
           ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

bool GiveToOtherUser(const std::string& path) {
    const std::string name = UnixName(path);
    if (name.empty() || !StartUnix("chown", "4242:4242 " + Quoted(name))) return false;
    return WaitFor([&] { return !OwnerTrusted(path); });
}

bool OpenToOthers(const std::string& path) {
    const std::string name = UnixName(path);
    if (name.empty() || !StartUnix("chmod", "777 " + Quoted(name))) return false;
    return WaitFor([&] { return !OtherWriters(path).empty(); });
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
    constexpr DWORD writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if ((allowed->Mask & writeRights) == 0) continue;
        if (trust::Trusted(platform::AccountOfSid(&allowed->SidStart))) continue;
        writers.push_back(SidText(&allowed->SidStart));
    }
    ::LocalFree(descriptor);
    return writers;
}

unsigned SetUmask(unsigned) { return 0; }

bool OtherUserCanWrite(const std::string&) { return false; }

}  // namespace kd::test
