// PackageEncoder: writes containers that PackageDecoder reads back exactly.
#pragma once

#include <string>
#include <string_view>

namespace kd {

class PackageEncoder {
public:
    // Compresses `text` (1 byte to 2 GiB) into a whole container: the 4-byte
    // length and the bit stream. False for an empty or too long text.
    bool Encode(std::string_view text, std::string& container);
};

}  // namespace kd
