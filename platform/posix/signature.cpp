// ECDSA P-256 keys and signatures through libcrypto: PEM decoding, the
// conversion between r||s and the DER form libcrypto signs in, key pairs.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"

namespace kd::platform {

namespace {

template <auto Free>
struct Freer {
    template <typename T>
    void operator()(T* object) const { Free(object); }
};
using Bio = std::unique_ptr<BIO, Freer<BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX_free>>;
using EcdsaSignature = std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG_free>>;
using Number = std::unique_ptr<BIGNUM, Freer<BN_free>>;

constexpr std::size_t HalfSize = SignatureSize / 2;

Bio ReadOnlyBio(const std::string& text) {
    return Bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

bool IsP256(EVP_PKEY* key) {
    char group[32] = {};
    std::size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_group_name(key, group, sizeof group, &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

// Called when a private key is encrypted: records that a pass phrase was
// wanted and gives none, so libcrypto never prompts.
int DeclinePassPhrase(char*, int, int, void* asked) {
    *static_cast<bool*>(asked) = true;
    return -1;
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

struct KeyState {
    Key key;
};

void StateDeleter::operator()(KeyState* state) const { delete state; }

bool PublicKey::Load(const std::string& pem) {
    state.reset();
    der.clear();
    if (pem.size() > 0x7FFFFFFF) return false;
    const Bio bio = ReadOnlyBio(pem);
    if (!bio) return false;
    Key key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key || !IsP256(key.get())) return false;
    unsigned char* encoded = nullptr;
    const int size = i2d_PUBKEY(key.get(), &encoded);
    if (size <= 0) return false;
    der.assign(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(size));
    OPENSSL_free(encoded);
    state.reset(new (std::nothrow) KeyState{std::move(key)});
    if (!state) der.clear();
    return state != nullptr;
}

bool PublicKey::Verify(const unsigned char (&digest)[Sha256::DigestSize],
                       const unsigned char (&signature)[SignatureSize]) const {
    if (!state) return false;
    EcdsaSignature pair(ECDSA_SIG_new());
    Number r(BN_bin2bn(signature, HalfSize, nullptr));
    Number s(BN_bin2bn(signature + HalfSize, HalfSize, nullptr));
    if (!pair || !r || !s || ECDSA_SIG_set0(pair.get(), r.get(), s.get()) != 1) return false;
    r.release();  // the pair owns them now
    s.release();
    unsigned char* encoded = nullptr;
    const int size = i2d_ECDSA_SIG(pair.get(), &encoded);
    if (size <= 0) return false;
    const KeyContext context(EVP_PKEY_CTX_new(state->key.get(), nullptr));
    const bool good = context && EVP_PKEY_verify_init(context.get()) == 1 &&
                      EVP_PKEY_verify(context.get(), encoded, static_cast<std::size_t>(size),
                                      digest, sizeof digest) == 1;
    OPENSSL_free(encoded);
    return good;
}

KeyResult SignDigest(const std::string& privatePem,
                     const unsigned char (&digest)[Sha256::DigestSize],
                     unsigned char (&signature)[SignatureSize]) {
    if (privatePem.size() > 0x7FFFFFFF) return KeyResult::NotAKey;
    const Bio bio = ReadOnlyBio(privatePem);
    if (!bio) return KeyResult::Failed;
    bool asked = false;
    const Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, DeclinePassPhrase, &asked));
    if (asked) return KeyResult::Encrypted;
    if (!key || !IsP256(key.get())) return KeyResult::NotAKey;

    const KeyContext context(EVP_PKEY_CTX_new(key.get(), nullptr));
    std::size_t size = 0;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_sign(context.get(), nullptr, &size, digest, sizeof digest) != 1) {
        return KeyResult::Failed;
    }
    std::unique_ptr<unsigned char[]> encoded(new (std::nothrow) unsigned char[size]);
    if (!encoded || EVP_PKEY_sign(context.get(), encoded.get(), &size, digest, sizeof digest) != 1) {
        return KeyResult::Failed;
    }
    const unsigned char* cursor = encoded.get();
    const EcdsaSignature pair(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(size)));
    if (!pair) return KeyResult::Failed;
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(pair.get(), &r, &s);
    if (BN_bn2binpad(r, signature, HalfSize) != HalfSize ||
        BN_bn2binpad(s, signature + HalfSize, HalfSize) != HalfSize) {
        return KeyResult::Failed;
    }
    return KeyResult::Ok;
}

KeyResult NewKeyPair(std::string& privatePem, std::string& publicPem) {
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    const Bio privateBio(BIO_new(BIO_s_mem()));
    const Bio publicBio(BIO_new(BIO_s_mem()));
    // PEM_write_bio_PrivateKey writes PKCS#8 ("PRIVATE KEY").
    if (!key || !privateBio || !publicBio ||
        PEM_write_bio_PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                 nullptr) != 1 ||
        PEM_write_bio_PUBKEY(publicBio.get(), key.get()) != 1) {
        return KeyResult::Failed;
    }
    privatePem = BioText(privateBio.get());
    publicPem = BioText(publicBio.get());
    return privatePem.empty() || publicPem.empty() ? KeyResult::Failed : KeyResult::Ok;
}

}  // namespace kd::platform
