// Script name tests: parent components and device names as Windows sees them.
#include <gtest/gtest.h>

#include "util/names.h"

namespace kd {
namespace {

TEST(Names, ClimbsUp) {
    const struct {
        const char* name;
        bool climbs;
    } cases[] = {
        {"..", true},        {"a/../b", true},  {"a\\..", true},   {"...", true},
        {".. ", true},       {" . .", true},    {".", false},      {"..a", false},
        {"a..b", false},     {".hidden", false}, {"", false},      {"a/./b", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ClimbsUp(c.name), c.climbs) << "[" << c.name << "]";
}

TEST(Names, NamesDevice) {
    const struct {
        const char* name;
        bool device;
    } cases[] = {
        {"nul", true},        {"NUL.txt", true},     {"sub\\con", true},   {"a/Aux.tar.gz", true},
        {"com1", true},       {"LPT9.log", true},    {"prn .x", true},     {"conin$", true},
        {"com0", false},      {"com10", false},      {"console", false},  {"nul_x", false},
        {"xnul", false},      {"", false},           {"auxiliary/x", false},
        {"COM\xB9", true},    {"lpt\xB2.txt", true}, {"a/Com\xB3", true}, {"com\xB4", false},
        {"LPT\xB9x", false},  {"com\xB9\xB9", false},
    };
    for (const auto& c : cases) EXPECT_EQ(NamesDevice(c.name), c.device) << "[" << c.name << "]";
}

}  // namespace
}  // namespace kd
