// kdpack's commands and their help texts, one file per purpose: pack.cpp,
// container.cpp (compress, decompress), list_verify.cpp (list, verify) and
// dispatch.cpp (help and the command line).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "script/line2.h"
#include "tools/kdpack/output.h"

namespace kd::kdpack {

extern const std::string PackHelp;
extern const std::string CompressHelp;
extern const std::string DecompressHelp;
extern const std::string ListHelp;
extern const std::string VerifyHelp;
extern const std::string KeyHelp;
extern const std::string SignHelp;

// Each returns kdpack's exit code.
int Pack(Io& io, const std::vector<std::string>& args);
int Compress(Io& io, const std::vector<std::string>& args);
int Decompress(Io& io, const std::vector<std::string>& args);
int List(Io& io, const std::vector<std::string>& args);
int Verify(Io& io, const std::vector<std::string>& args);
int Key(Io& io, const std::vector<std::string>& args);
int Sign(Io& io, const std::vector<std::string>& args);

// Reads a private key for signing into `pem` and makes a trial signature, so
// that a build without signing, an encrypted key or a file that holds no
// P-256 key stops a command before it writes anything. False after saying why.
bool ReadSigningKey(Io& io, const std::string& keyPath, std::string& pem);
// Signs `digest` with the private key `pem` read from `keyPath`. False after
// saying why.
bool SignWithKey(Io& io, const std::string& pem, const std::string& keyPath,
                 const unsigned char (&digest)[script::DigestSize],
                 unsigned char (&signature)[script::SignatureSize]);

// What CompressStream made.
struct Compressed {
    std::uint64_t textBytes = 0;
    std::uint64_t packageBytes = 0;
    std::string packageDigest;  // SHA-256 of the container, 64 hexadecimal digits
};

// Compresses `prefix` and then the whole of `input` into
// `output`, showing progress on a terminal. False after saying what failed,
// naming `inputName`.
bool CompressStream(Io& io, std::string_view prefix, std::FILE* input, std::FILE* output,
                    const std::string& inputName, Compressed& compressed);

}  // namespace kd::kdpack
