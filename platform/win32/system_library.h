// The calls of the system DLLs that are not on the known-DLL list (CNG and
// crypt32), found at run time in System32 only: imported statically, they
// would be looked for beside the program first, in whatever folder it was
// started from.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

namespace kd::platform {

struct CngCalls {
    decltype(&::BCryptOpenAlgorithmProvider) openAlgorithmProvider;
    decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithmProvider;
    decltype(&::BCryptCreateHash) createHash;
    decltype(&::BCryptHashData) hashData;
    decltype(&::BCryptFinishHash) finishHash;
    decltype(&::BCryptDestroyHash) destroyHash;
    decltype(&::BCryptVerifySignature) verifySignature;
    decltype(&::BCryptDestroyKey) destroyKey;
};

struct Crypt32Calls {
    decltype(&::CryptStringToBinaryA) stringToBinary;
    decltype(&::CryptDecodeObjectEx) decodeObject;
    decltype(&::CryptImportPublicKeyInfoEx2) importPublicKeyInfo;
};

// Every call of bcrypt.dll or crypt32.dll, loaded on first use with
// LoadLibraryExW(LOAD_LIBRARY_SEARCH_SYSTEM32) and GetProcAddress; null when
// the DLL or any call is missing, or the fault hook fails it
// (FaultPoint::Library).
const CngCalls* Cng();
const Crypt32Calls* Crypt32();

}  // namespace kd::platform
