// Hashing and signatures load their DLLs at run time on Windows: when one
// cannot be loaded, each fails as a result and works again once it can.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

TEST(SystemLibraries, AMissingLibraryIsAFailure) {
    if (!test::IsWindowsBuild()) GTEST_SKIP() << "the POSIX build links libcrypto";
    const char* pem = "-----BEGIN PUBLIC KEY-----\n"
                      "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE2K/bfFfFfcY8Nqy+NzpFsG4dr19h\n"
                      "DsVrZcuUF+XoOWSi+osyG17QvEKhbhHPOieSpeQHryj5WoK8QIXMic/qHQ==\n"
                      "-----END PUBLIC KEY-----\n";
    unsigned char digest[platform::Sha256::DigestSize];
    for (const bool loads : {false, true}) {
        if (!loads) platform::InjectFault(platform::FaultPoint::Library, 1, platform::Error::Other, 100);
        platform::Sha256 hash;
        platform::PublicKey key;
        EXPECT_EQ(hash.Finish(digest), loads);
        EXPECT_EQ(key.Load(pem), loads);
        platform::ClearFaults();
    }
}

}  // namespace
}  // namespace kd
