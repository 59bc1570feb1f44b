// Names for parameterised cases: GoogleTest takes only letters, digits and
// "_", so every other byte of a case's `name` becomes "_".
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kd::test {

struct ParamName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        std::string name;
        for (const char* p = info.param.name; *p; ++p) {
            const char c = *p;
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            name += plain ? c : '_';
        }
        return name;
    }
};

}  // namespace kd::test
