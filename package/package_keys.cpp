// Loading the built-in keys and finding the one that signed a package.
#include "package/package_keys.h"

namespace kd::script {

bool LoadKeys(std::span<const char* const> pems, std::vector<platform::PublicKey>& keys) {
    keys.clear();
    for (const char* pem : pems) {
        keys.emplace_back();
        if (pem == nullptr || !keys.back().Load(pem)) return false;
    }
    return true;
}

int SigningKey(const DigestLine& line, const std::vector<platform::PublicKey>& keys) {
    if (!line.hasDigest || line.field != SignatureField::Signature) return -1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].Verify(line.digest, line.signature)) return static_cast<int>(i);
    }
    return -1;
}

std::string Fingerprint(const platform::PublicKey& key) {
    platform::Sha256 hash;
    hash.Update(key.Der().data(), key.Der().size());
    unsigned char digest[DigestSize];
    return hash.Finish(digest) ? Hex(digest, DigestSize) : std::string();
}

}  // namespace kd::script
