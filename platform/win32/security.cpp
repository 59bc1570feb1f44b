// Win32 owners and protection: whom a SID stands for, access lists in
// portable form, and the process's own guards.
#include "platform/win32/security.h"

#include <sddl.h>
#include <windows.h>

#include <vector>

#include "platform/fault_hook.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

namespace {

constexpr const char* TrustedInstallerSid =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

using LocalMemory = ScopedHandle<LocalMemoryTraits>;

bool IsWellKnown(PSID owner, WELL_KNOWN_SID_TYPE type) { return ::IsWellKnownSid(owner, type) != FALSE; }

// The TOKEN_USER of this process; empty on failure.
std::vector<BYTE> TokenUser() {
    ScopedHandle<ObjectHandleTraits> token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Out())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), ::TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.Get(), ::TokenUser, buffer.data(), size, &size)) return {};
    return buffer;
}

// The token's user is asked once: every owner and access entry is compared
// with it.
bool IsTokenUser(PSID owner) {
    static const std::vector<BYTE> user = TokenUser();
    return !user.empty() && ::EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
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

Account AccountOfSid(PSID sid) {
    if (!sid || !::IsValidSid(sid)) return Account::Other;
    static constexpr struct {
        WELL_KNOWN_SID_TYPE type;
        Account account;
    } wellKnown[] = {
        {WinBuiltinAdministratorsSid, Account::Administrators},
        {WinLocalSystemSid, Account::System},
        {WinLocalServiceSid, Account::LocalService},
        {WinNetworkServiceSid, Account::NetworkService},
        {WinCreatorOwnerSid, Account::CreatorOwner},
    };
    for (const auto& known : wellKnown) {
        if (IsWellKnown(sid, known.type)) return known.account;
    }
    static const LocalMemory installer = [] {
        PSID parsed = nullptr;
        return LocalMemory(::ConvertStringSidToSidA(TrustedInstallerSid, &parsed) ? parsed : nullptr);
    }();
    if (installer.Valid() && ::EqualSid(sid, installer.Get())) return Account::TrustedInstaller;
    return IsTokenUser(sid) ? Account::RunningAccount : Account::Other;
}

Account DescriptorOwner(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!descriptor || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) {
        return Account::Other;
    }
    return AccountOfSid(owner);
}

std::string TokenUserSid() {
    const std::vector<BYTE> user = TokenUser();
    LocalMemory text;
    if (user.empty() ||
        !::ConvertSidToStringSidA(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid,
                                  reinterpret_cast<char**>(text.Out()))) {
        return {};
    }
    return static_cast<const char*>(text.Get());
}

bool OwnerOnlyDescriptor(ScopedHandle<LocalMemoryTraits>& descriptor) {
    const std::string user = TokenUserSid();
    if (user.empty()) return false;
    const std::string text = "D:P(A;;FA;;;" + user + ")";
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                                  descriptor.Out(), nullptr) != FALSE;
}

Error AccessOfDescriptor(PSECURITY_DESCRIPTOR descriptor, AccessList& list) {
    list = {};
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return Error::Other;
    }
    if (!present || !dacl) {
        list.nullList = true;
        return Error::None;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return Error::Other;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Allowed and denied entries share their layout; other kinds (object,
        // callback) are taken as granting others everything they name.
        const auto* entry = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = const_cast<DWORD*>(&entry->SidStart);
        AccessEntry portable;
        portable.allow = header->AceType != ACCESS_DENIED_ACE_TYPE;
        portable.inherited = (header->AceFlags & INHERITED_ACE) != 0;
        portable.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        portable.toChildren = (header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) != 0;
        portable.mask = entry->Mask;
        const bool simple = header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
                            header->AceType == ACCESS_DENIED_ACE_TYPE;
        portable.who = simple ? AccountOfSid(sid) : Account::Other;
        list.entries.push_back(portable);
    }
    return Error::None;
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
