// SHA-256 (FIPS 180-4), for the digests kdpack writes and checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kd {

class Sha256 {
public:
    Sha256() { Reset(); }
    void Reset();
    void Update(const void* data, std::size_t size);
    // The digest of everything given since the last Reset, as 64 lower-case
    // hexadecimal digits. The object must be Reset before further use.
    std::string HexDigest();

private:
    void Block(const unsigned char* block);

    std::uint32_t state[8];
    unsigned char pending[64];
    std::size_t pendingSize = 0;
    std::uint64_t totalBytes = 0;
};

}  // namespace kd
