// Run-time loading of bcrypt.dll and crypt32.dll from System32.
#include "platform/win32/system_library.h"

#include "platform/fault_hook.h"

namespace kd::platform {

namespace {

// Stores the address of `name` in `call`; false when it is missing.
template <typename Call>
bool Find(HMODULE library, const char* name, Call& call) {
    call = library ? reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(library, name))) : nullptr;
    return call != nullptr;
}

// The DLL from System32, never from the program's folder or the path; it
// stays loaded for the life of the process.
HMODULE SystemLibrary(const wchar_t* name) {
    return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

const CngCalls* Cng() {
    if (detail::TakeFault(FaultPoint::Library) != Error::None) return nullptr;
    static const CngCalls* const loaded = [] {
        static CngCalls calls{};
        const HMODULE library = SystemLibrary(L"bcrypt.dll");
        const bool found = Find(library, "BCryptOpenAlgorithmProvider", calls.openAlgorithmProvider) &&
                           Find(library, "BCryptCloseAlgorithmProvider", calls.closeAlgorithmProvider) &&
                           Find(library, "BCryptCreateHash", calls.createHash) &&
                           Find(library, "BCryptHashData", calls.hashData) &&
                           Find(library, "BCryptFinishHash", calls.finishHash) &&
                           Find(library, "BCryptDestroyHash", calls.destroyHash) &&
                           Find(library, "BCryptVerifySignature", calls.verifySignature) &&
                           Find(library, "BCryptDestroyKey", calls.destroyKey);
        return found ? &calls : nullptr;
    }();
    return loaded;
}

const Crypt32Calls* Crypt32() {
    if (detail::TakeFault(FaultPoint::Library) != Error::None) return nullptr;
    static const Crypt32Calls* const loaded = [] {
        static Crypt32Calls calls{};
        const HMODULE library = SystemLibrary(L"crypt32.dll");
        const bool found = Find(library, "CryptStringToBinaryA", calls.stringToBinary) &&
                           Find(library, "CryptDecodeObjectEx", calls.decodeObject) &&
                           Find(library, "CryptImportPublicKeyInfoEx2", calls.importPublicKeyInfo);
        return found ? &calls : nullptr;
    }();
    return loaded;
}

}  // namespace kd::platform
