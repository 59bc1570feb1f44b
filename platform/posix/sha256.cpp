// SHA-256 through libcrypto's EVP interface (the SHA256_* calls are deprecated).
#include <openssl/evp.h>

#include <new>

#include "platform/platform.h"

namespace kd::platform {

struct HashState {
    EVP_MD_CTX* context = nullptr;
    ~HashState() { EVP_MD_CTX_free(context); }
};

void StateDeleter::operator()(HashState* state) const { delete state; }

Sha256::Sha256() { failed = !Start(); }

bool Sha256::Start() {
    state.reset(new (std::nothrow) HashState);
    if (!state) return false;
    state->context = EVP_MD_CTX_new();
    return state->context != nullptr && EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr) == 1;
}

void Sha256::Update(const void* data, std::size_t size) {
    if (failed || size == 0) return;
    if (EVP_DigestUpdate(state->context, data, size) != 1) failed = true;
}

bool Sha256::Finish(unsigned char (&digest)[DigestSize]) {
    unsigned int length = 0;
    const bool ok = !failed && EVP_DigestFinal_ex(state->context, digest, &length) == 1 &&
                    length == DigestSize;
    failed = !Start();
    return ok;
}

}  // namespace kd::platform
