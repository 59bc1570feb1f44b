// SHA-256 and ECDSA P-256 signatures, from the system's own libraries.
#pragma once

#include <cstddef>
#include <string>
#include "platform/error.h"

namespace kd::platform {

// ---- Hashing -----------------------------------------------------------------

// SHA-256 of bytes given in pieces. Win32: CNG (BCryptOpenAlgorithmProvider,
// BCryptCreateHash, BCryptHashData, BCryptFinishHash). POSIX: libcrypto's EVP
// digest interface.
class Sha256 {
public:
    static constexpr std::size_t DigestSize = 32;

    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything given since construction or the last Finish;
    // the object then starts a new digest. False when the system failed at
    // any step since then (the digest is not to be used).
    bool Finish(unsigned char (&digest)[DigestSize]);

private:
    // Begins a new digest; false when the system cannot.
    bool Start();
    StatePointer<HashState> state;
    bool failed = false;
};

// ---- Signatures ---------------------------------------------------------------

// ECDSA on curve P-256 over a SHA-256 digest. A signature is r then s, 32
// bytes each, big-endian (the IEEE P1363 form CNG uses).
constexpr std::size_t SignatureSize = 64;

// A public key, parsed by the system's own decoders.
class PublicKey {
public:
    // Parses `pem`, a SubjectPublicKeyInfo in PEM, and keeps the key when it
    // is a P-256 key. Win32: CryptStringToBinaryA, CryptDecodeObjectEx
    // (X509_PUBLIC_KEY_INFO), CryptImportPublicKeyInfoEx2. POSIX:
    // PEM_read_bio_PUBKEY. False for any other text or key.
    bool Load(const std::string& pem);
    // The key's SubjectPublicKeyInfo in DER; empty until a Load succeeded.
    const std::string& Der() const { return der; }
    // True when `signature` is this key's signature on `digest`; false for
    // any other signature and before a successful Load. Win32:
    // BCryptVerifySignature. POSIX: EVP_PKEY_verify.
    bool Verify(const unsigned char (&digest)[Sha256::DigestSize],
                const unsigned char (&signature)[SignatureSize]) const;

private:
    StatePointer<KeyState> state;
    std::string der;
};

enum class KeyResult {
    Ok = 0,
    Unavailable = 1,  // this build cannot use private keys
    Encrypted = 2,    // the private key wants a pass phrase (never asked for)
    NotAKey = 3,      // not a P-256 private key in PEM
    Failed = 4,       // the library failed
};

// Signs `digest` with a P-256 private key in PEM, PKCS#8 or SEC1. POSIX:
// PEM_read_bio_PrivateKey with a pass-phrase callback that declines, then
// EVP_PKEY_sign. Win32: Unavailable (Wine's crypt32 cannot decode EC private
// keys, so no call could be tested).
KeyResult SignDigest(const std::string& privatePem,
                     const unsigned char (&digest)[Sha256::DigestSize],
                     unsigned char (&signature)[SignatureSize]);

// A new P-256 key pair: the private key in PKCS#8 PEM, the public key as a
// SubjectPublicKeyInfo in PEM. POSIX: EVP_PKEY_Q_keygen. Win32: Unavailable.
KeyResult NewKeyPair(std::string& privatePem, std::string& publicPem);

}  // namespace kd::platform
