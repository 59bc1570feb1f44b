// SHA-256 from the system (CNG on Windows, libcrypto on POSIX): the published
// test vectors, whole and fed in uneven pieces across block boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace kd {
namespace {

std::string Finish(platform::Sha256& hash) {
    unsigned char digest[platform::Sha256::DigestSize];
    if (!hash.Finish(digest)) return "failed";
    std::string hex;
    char pair[3];
    for (const unsigned char byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

TEST(Sha256, KnownDigests) {
    struct Case {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    platform::Sha256 reused;  // Finish starts the next digest
    for (const Case& c : cases) {
        reused.Update(c.input.data(), c.input.size());
        EXPECT_EQ(Finish(reused), c.digest);
        // Pieces of 1 to 97 bytes: every piece boundary falls at another
        // place of a 64-byte block.
        platform::Sha256 pieces;
        for (std::size_t at = 0, step = 1; at < c.input.size(); at += step, step = step * 3 % 97 + 1)
            pieces.Update(c.input.data() + at, std::min(step, c.input.size() - at));
        EXPECT_EQ(Finish(pieces), c.digest);
    }
}

}  // namespace
}  // namespace kd
