// SHA-256 through CNG.
#include <windows.h>
#include <bcrypt.h>

#include <new>

#include "platform/platform.h"

namespace kd::platform {

namespace {

struct HashState {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

Sha256::Sha256() { failed = !Start(); }

Sha256::~Sha256() { Close(); }

bool Sha256::Start() {
    auto* hashState = new (std::nothrow) HashState;
    state = hashState;
    if (!hashState) return false;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&hashState->algorithm, BCRYPT_SHA256_ALGORITHM,
                                               nullptr, 0))) {
        hashState->algorithm = nullptr;
        return false;
    }
    // The hash object's memory is left to CNG.
    if (!Succeeded(BCryptCreateHash(hashState->algorithm, &hashState->hash, nullptr, 0, nullptr, 0,
                                    0))) {
        hashState->hash = nullptr;
        return false;
    }
    return true;
}

void Sha256::Close() {
    auto* hashState = static_cast<HashState*>(state);
    if (!hashState) return;
    if (hashState->hash) BCryptDestroyHash(hashState->hash);
    if (hashState->algorithm) BCryptCloseAlgorithmProvider(hashState->algorithm, 0);
    delete hashState;
    state = nullptr;
}

void Sha256::Update(const void* data, std::size_t size) {
    auto* hashState = static_cast<HashState*>(state);
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
    // BCryptHashData takes a 32-bit length.
    while (!failed && size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!Succeeded(BCryptHashData(hashState->hash, bytes, piece, 0))) failed = true;
        bytes += piece;
        size -= piece;
    }
}

bool Sha256::Finish(unsigned char (&digest)[DigestSize]) {
    auto* hashState = static_cast<HashState*>(state);
    const bool ok = !failed && Succeeded(BCryptFinishHash(hashState->hash, digest, DigestSize, 0));
    Close();
    failed = !Start();
    return ok;
}

}  // namespace kd::platform
