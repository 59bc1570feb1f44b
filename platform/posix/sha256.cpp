// SHA-256 through libcrypto's EVP interface (the SHA256_* calls are deprecated).
#include <openssl/evp.h>

#include "platform/platform.h"

namespace kd::platform {

Sha256::Sha256() { failed = !Start(); }

Sha256::~Sha256() { Close(); }

bool Sha256::Start() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    state = context;
    return context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
}

void Sha256::Close() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state));
    state = nullptr;
}

void Sha256::Update(const void* data, std::size_t size) {
    if (failed || size == 0) return;
    if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state), data, size) != 1) failed = true;
}

bool Sha256::Finish(unsigned char (&digest)[DigestSize]) {
    unsigned int length = 0;
    bool ok = !failed &&
              EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state), digest, &length) == 1 &&
              length == DigestSize;
    Close();
    failed = !Start();
    return ok;
}

}  // namespace kd::platform
