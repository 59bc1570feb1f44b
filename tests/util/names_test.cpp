// Script name tests: parent components and device names as Windows sees them,
// names a script cannot carry, wildcards.
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
    for (const auto& c : cases) EXPECT_EQ(util::ClimbsUp(c.name), c.climbs) << "[" << c.name << "]";
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
        {"LPT\xB9x", false},  {"com\xB9\xB9", false}, {"COM1:", true},    {"nul:x", true},
        {"con :a.b", true},   {"conx:", false},
    };
    for (const auto& c : cases) EXPECT_EQ(util::NamesDevice(c.name), c.device) << "[" << c.name << "]";
}

TEST(Names, NameProblem) {
    struct Case {
        const char* name;
        bool sound;
    } cases[] = {
        {"readme.txt", true},     {"a b.txt", true},       {".hidden", true},
        {"two  blanks", false},   {" lead", false},        {"trail ", false},
        {"tab\there", false},     {"line\nend", false},    {"cr\r", false},
        {"back\\slash", false},   {"colon:", false},       {"star*", false},
        {"dot.", false},          {"", false},             {"nul", false},
        {"Com1.log", false},      {"console.txt", true},   {"com10", true},
    };
    for (const Case& c : cases) EXPECT_EQ(util::NameProblem(c.name).empty(), c.sound) << c.name;
}

TEST(Names, WildcardMatch) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.txt", "readme.txt", true}, {"*.txt", "README.TXT", true}, {"*.txt", "readme.txt.bak", false},
        {"read?e.*", "readme.md", true}, {"*", "", true}, {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXbY", false}, {"?", "", false}, {"*.*", "noext", false},
        {"\xC4*", "\xE4.txt", false},  // letter case folds for ASCII letters only
    };
    for (const Case& c : cases) EXPECT_EQ(util::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

}  // namespace
}  // namespace kd
