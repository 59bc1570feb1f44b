// ECDSA P-256 public keys through crypt32 (PEM and DER decoding) and CNG
// (import and verification), both loaded at run time. Private keys stay with the POSIX build: Wine's
// crypt32 cannot decode them, so signing here could never be tested.
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/system_library.h"

namespace kd::platform {

namespace {

// The curve parameter of a P-256 key: the DER of OID 1.2.840.10045.3.1.7.
constexpr unsigned char P256Parameter[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

bool IsP256(const CERT_PUBLIC_KEY_INFO& info) {
    const CRYPT_OBJID_BLOB& parameter = info.Algorithm.Parameters;
    return info.Algorithm.pszObjId != nullptr &&
           std::strcmp(info.Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) == 0 &&
           parameter.cbData == sizeof P256Parameter &&
           std::memcmp(parameter.pbData, P256Parameter, sizeof P256Parameter) == 0;
}

}  // namespace

struct KeyState {
    const CngCalls* cng = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    ~KeyState() {
        if (key) cng->destroyKey(key);
    }
};

void StateDeleter::operator()(KeyState* state) const { delete state; }

bool PublicKey::Load(const std::string& pem) {
    state.reset();
    der.clear();
    const Crypt32Calls* const crypt32 = Crypt32();
    const CngCalls* const cng = Cng();
    if (!crypt32 || !cng || pem.empty() || pem.size() > 0x7FFFFFFF) return false;
    const DWORD pemSize = static_cast<DWORD>(pem.size());
    DWORD size = 0;
    if (!crypt32->stringToBinary(pem.data(), pemSize, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                nullptr, nullptr)) {
        return false;
    }
    std::string bytes(size, '\0');
    if (!crypt32->stringToBinary(pem.data(), pemSize, CRYPT_STRING_BASE64HEADER,
                                reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr, nullptr)) {
        return false;
    }
    bytes.resize(size);

    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!crypt32->decodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                               reinterpret_cast<const BYTE*>(bytes.data()), size,
                               CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize)) {
        return false;
    }
    const ScopedHandle<LocalMemoryTraits> decoded(info);
    if (!IsP256(*info)) return false;
    StatePointer<KeyState> loaded(new (std::nothrow) KeyState);
    if (!loaded) return false;
    loaded->cng = cng;
    if (!crypt32->importPublicKeyInfo(X509_ASN_ENCODING, info, 0, nullptr, &loaded->key)) return false;
    state = std::move(loaded);
    der = std::move(bytes);
    return true;
}

bool PublicKey::Verify(const unsigned char (&digest)[Sha256::DigestSize],
                       const unsigned char (&signature)[SignatureSize]) const {
    if (!state) return false;
    return state->cng->verifySignature(state->key, nullptr, const_cast<PUCHAR>(digest),
                                   sizeof digest, const_cast<PUCHAR>(signature), sizeof signature,
                                   0) == 0;
}

KeyResult SignDigest(const std::string&, const unsigned char (&)[Sha256::DigestSize],
                     unsigned char (&)[SignatureSize]) {
    return KeyResult::Unavailable;
}

KeyResult NewKeyPair(std::string&, std::string&) { return KeyResult::Unavailable; }

}  // namespace kd::platform
