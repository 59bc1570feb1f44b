// The public keys a package must be signed with, and the judgement of a
// signature on line 2. Shared by the installer and kdpack.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "package/script_format.h"
#include "platform/platform.h"

namespace kd {

// The public keys (PEM) built into this program: empty for an installer
// that takes packages unsigned. Each program links the definition CMake
// generates from its key files (kd_package_keys); nothing at run time can
// add or change one.
std::span<const char* const> BuiltInPackageKeys();

namespace script {

// Loads every key as an installer built with them does. False when any of
// them is not a P-256 public key: such an installer refuses every package.
bool LoadKeys(std::span<const char* const> pems, std::vector<platform::PublicKey>& keys);

// The index of the key whose signature line 2 carries on its digest; -1
// when it carries none, or none of `keys` made it.
int SigningKey(const DigestLine& line, const std::vector<platform::PublicKey>& keys);

// The SHA-256 of the key's DER form in hexadecimal (empty when hashing failed).
std::string Fingerprint(const platform::PublicKey& key);

}  // namespace script
}  // namespace kd
