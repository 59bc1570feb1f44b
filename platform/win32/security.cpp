// Win32 links, owners and protection: reparse points, owner SIDs, the
// descriptor of a created destination, and the process's own guards.
#include "platform/win32/security.h"

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <vector>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

namespace {

// SYSTEM and Administrators full control, Users read and execute, inherited by
// everything below, nothing inherited from the parent.
constexpr const char* ProtectedDirectoryDescriptor =
    "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr const char* TrustedInstallerSid =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

using LocalMemory = ScopedHandle<LocalMemoryTraits>;

bool IsWellKnown(PSID owner, WELL_KNOWN_SID_TYPE type) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    return ::CreateWellKnownSid(type, nullptr, sid, &size) && ::EqualSid(owner, sid);
}

bool IsTokenUser(PSID owner) {
    ScopedHandle<ObjectHandleTraits> token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Out())) return false;
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
    return ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// Declared here: older mingw-w64 headers have neither the policy nor its
// structure, and both functions are looked up at run time anyway.
constexpr int RedirectionTrustPolicyId = 16;  // ProcessRedirectionTrustPolicy
constexpr DWORD EnforceRedirectionTrust = 0x1;
constexpr DWORD SearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
using SetProcessMitigationPolicyCall = BOOL(WINAPI*)(int, PVOID, SIZE_T);

template <typename Call>
Call Kernel32Function(const char* name) {
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

}  // namespace

bool OwnerSidTrusted(PSID owner) {
    if (!owner || !::IsValidSid(owner)) return false;
    if (IsWellKnown(owner, WinBuiltinAdministratorsSid) || IsWellKnown(owner, WinLocalSystemSid)) {
        return true;
    }
    LocalMemory installer;
    if (::ConvertStringSidToSidA(TrustedInstallerSid, installer.Out()) &&
        ::EqualSid(owner, installer.Get())) {
        return true;
    }
    return IsTokenUser(owner);
}

bool DescriptorOwnerTrusted(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!descriptor || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) return false;
    return OwnerSidTrusted(owner);
}

NameKind KindOfName(const char* path) {
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? NameKind::Missing
                                                                            : NameKind::Plain;
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? NameKind::Link : NameKind::Plain;
}

bool OwnerTrusted(const char* path) {
    // The link itself, not what it points to; backup semantics open directories.
    const ScopedFileHandle handle(::CreateFileA(
        path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.Valid()) return false;
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (::GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, descriptor.Out()) != ERROR_SUCCESS) {
        return false;
    }
    return OwnerSidTrusted(owner);  // points into the descriptor, still held
}

Error CreateProtectedDir(const char* path) {
    const Error fault = detail::TakeFault(FaultPoint::CreateDir);
    if (fault != Error::None) return fault;
    LocalMemory descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
            ProtectedDirectoryDescriptor, SDDL_REVISION_1, descriptor.Out(), nullptr)) {
        return ErrorFromWin32(::GetLastError());
    }
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = descriptor.Get();
    security.bInheritHandle = FALSE;
    return ::CreateDirectoryA(path, &security) ? Error::None : ErrorFromWin32(::GetLastError());
}

ProcessProtection ProtectProcess() {
    ProcessProtection result;
    const auto setDirectories =
        Kernel32Function<SetDefaultDllDirectoriesCall>("SetDefaultDllDirectories");
    if (setDirectories && detail::TakeFault(FaultPoint::ProcessPolicy) == Error::None) {
        result.systemLibrariesOnly = setDirectories(SearchSystem32) != FALSE;
    }
    const auto setPolicy =
        Kernel32Function<SetProcessMitigationPolicyCall>("SetProcessMitigationPolicy");
    if (setPolicy && detail::TakeFault(FaultPoint::ProcessPolicy) == Error::None) {
        DWORD flags = EnforceRedirectionTrust;
        result.redirectionTrust =
            setPolicy(RedirectionTrustPolicyId, &flags, sizeof flags) != FALSE;
    }
    return result;
}

}  // namespace kd::platform
