// SHA-256 through CNG, loaded at run time.
#include <windows.h>
#include <bcrypt.h>

#include <new>

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace kd::platform {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

// The calls that made the handles close them, the hash before its provider.
struct HashState {
    const CngCalls* cng = nullptr;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~HashState() {
        if (hash) cng->destroyHash(hash);
        if (algorithm) cng->closeAlgorithmProvider(algorithm, 0);
    }
};

void StateDeleter::operator()(HashState* state) const { delete state; }

Sha256::Sha256() { failed = !Start(); }

bool Sha256::Start() {
    state.reset();
    const CngCalls* const cng = Cng();
    if (!cng) return false;
    state.reset(new (std::nothrow) HashState);
    if (!state) return false;
    state->cng = cng;
    // The hash object's memory is left to CNG.
    return Succeeded(cng->openAlgorithmProvider(&state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
           Succeeded(cng->createHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0));
}

void Sha256::Update(const void* data, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
    // BCryptHashData takes a 32-bit length.
    while (!failed && size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!Succeeded(state->cng->hashData(state->hash, bytes, piece, 0))) failed = true;
        bytes += piece;
        size -= piece;
    }
}

bool Sha256::Finish(unsigned char (&digest)[DigestSize]) {
    const bool ok = !failed && Succeeded(state->cng->finishHash(state->hash, digest, DigestSize, 0));
    failed = !Start();
    return ok;
}

}  // namespace kd::platform
