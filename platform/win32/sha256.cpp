// SHA-256 through CNG.
#include <windows.h>
#include <bcrypt.h>

#include <new>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace kd::platform {

namespace {

struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { ::BCryptCloseAlgorithmProvider(handle, 0); }
};

struct HashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { ::BCryptDestroyHash(handle); }
};

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

// The hash is declared after its provider, so it is destroyed first.
struct HashState {
    ScopedHandle<AlgorithmTraits> algorithm;
    ScopedHandle<HashTraits> hash;
};

void StateDeleter::operator()(HashState* state) const { delete state; }

Sha256::Sha256() { failed = !Start(); }

bool Sha256::Start() {
    state.reset(new (std::nothrow) HashState);
    if (!state) return false;
    // The hash object's memory is left to CNG.
    return Succeeded(::BCryptOpenAlgorithmProvider(state->algorithm.Out(), BCRYPT_SHA256_ALGORITHM,
                                                   nullptr, 0)) &&
           Succeeded(::BCryptCreateHash(state->algorithm.Get(), state->hash.Out(), nullptr, 0,
                                        nullptr, 0, 0));
}

void Sha256::Update(const void* data, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
    // BCryptHashData takes a 32-bit length.
    while (!failed && size > 0) {
        const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!Succeeded(::BCryptHashData(state->hash.Get(), bytes, piece, 0))) failed = true;
        bytes += piece;
        size -= piece;
    }
}

bool Sha256::Finish(unsigned char (&digest)[DigestSize]) {
    const bool ok =
        !failed && Succeeded(::BCryptFinishHash(state->hash.Get(), digest, DigestSize, 0));
    failed = !Start();
    return ok;
}

}  // namespace kd::platform
