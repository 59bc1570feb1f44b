// String and path helpers: whitespace normalisation, separator rules and
// ASCII case folding.
#include <gtest/gtest.h>

#include <string>

#include "util/strings.h"

namespace kd {
namespace {

struct TrimCase {
    const char* input;
    bool removeAll;
    bool collapse;
    const char* expected;
};

class TrimStringTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TrimStringTest, Normalises) {
    const TrimCase& c = GetParam();
    std::string text = c.input;
    util::TrimString(text, c.removeAll, c.collapse);
    EXPECT_EQ(text, c.expected) << "input [" << c.input << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimStringTest,
    testing::Values(TrimCase{"", false, true, ""},
                    TrimCase{"word", false, true, "word"},
                    TrimCase{"    ", false, true, ""},
                    TrimCase{" \t  \t", false, true, ""},
                    TrimCase{"  two  words  ", false, true, "two words"},
                    TrimCase{"a   b    c", false, true, "a b c"},
                    TrimCase{"one\ttwo", false, true, "one two"},
                    TrimCase{"one\r\ntwo", false, true, "onetwo"},
                    TrimCase{"line end  \r\n", false, true, "line end"},
                    TrimCase{"\t lead and trail \t", false, true, "lead and trail"},
                    // Only the four whitespace bytes count.
                    TrimCase{"\f x \v", false, true, "\f x \v"},
                    TrimCase{" a b  c ", true, true, "abc"},
                    TrimCase{"a\tb c", true, false, "abc"},
                    // Without collapsing, runs inside stay.
                    TrimCase{"  a  b  ", false, false, "a  b"},
                    TrimCase{"\ta  b", false, false, "a  b"}));

struct PathCase {
    const char* input;
    const char* expected;
};

TEST(PathHelpers, RemoveTrailingSeparator) {
    const PathCase cases[] = {
        {"c:\\dir\\", "c:\\dir"}, {"c:\\dir\\\\", "c:\\dir\\"}, {"c:/dir/", "c:/dir"},
        {"c:\\dir\\/", "c:\\dir"}, {"c:\\dir/\\", "c:\\dir/"},  {"/", ""},
        {"\\", ""},               {"", ""},                     {"c:\\", "c:"},
    };
    for (const PathCase& c : cases) {
        std::string path = c.input;
        util::RemoveTrailingSeparator(path);
        EXPECT_EQ(path, c.expected) << c.input;
    }
}

TEST(PathHelpers, AddTrailingBackslash) {
    const PathCase cases[] = {
        {"", ""}, {"d", "d\\"}, {"d\\", "d\\"}, {"d/", "d/\\"},
    };
    for (const PathCase& c : cases) {
        std::string path = c.input;
        util::AddTrailingBackslash(path);
        EXPECT_EQ(path, c.expected) << c.input;
    }
}

TEST(PathHelpers, SlashesToBackslashes) {
    std::string path = "a//b/c\\d";
    util::SlashesToBackslashes(path);
    EXPECT_EQ(path, "a\\\\b\\c\\d");
}

TEST(CaseFolding, OnlyAsciiLettersChange) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    std::string upper = all, lower = all;
    util::MakeUpper(upper);
    util::MakeLower(lower);
    ASSERT_EQ(upper.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(all[i]);
        const bool isLower = c >= 'a' && c <= 'z', isUpper = c >= 'A' && c <= 'Z';
        EXPECT_EQ(static_cast<unsigned char>(upper[i]), isLower ? c - 32 : c) << int(c);
        EXPECT_EQ(static_cast<unsigned char>(lower[i]), isUpper ? c + 32 : c) << int(c);
        EXPECT_EQ(util::AsciiUpper(all[i]), upper[i]) << int(c);
        EXPECT_EQ(util::AsciiLower(all[i]), lower[i]) << int(c);
    }

    // 16-bit units: fullwidth, Greek, accented and surrogate units stay as they are.
    std::u16string units;
    for (char32_t c = 1; c <= 0xFFFF; ++c) units += static_cast<char16_t>(c);
    std::u16string upperUnits = units;
    util::MakeUpper(upperUnits);
    ASSERT_EQ(upperUnits.size(), units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        EXPECT_EQ(upperUnits[i], c >= u'a' && c <= u'z' ? c - 32 : c) << int(c);
    }
}

TEST(FindNoCase, FindsTheFirstOccurrence) {
    EXPECT_EQ(util::FindNoCase("Logbook", "LOG"), 0u);
    EXPECT_EQ(util::FindNoCase("old.LOG.log", "log"), 4u);
    EXPECT_EQ(util::FindNoCase("abc", ""), 0u);
    EXPECT_FALSE(util::FindNoCase("abc", "abcd"));
    EXPECT_FALSE(util::FindNoCase(nullptr, "a"));
    EXPECT_FALSE(util::FindNoCase("a", nullptr));
}

}  // namespace
}  // namespace kd
