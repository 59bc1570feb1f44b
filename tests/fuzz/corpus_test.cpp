// The fuzz corpora as regression tests: every input under
// fuzz/corpus/<target>/ passes that target's checks, in every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "support/temp_dir.h"

namespace kd::fuzz {

void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

namespace {

namespace fs = std::filesystem;

const fs::path Corpus = KD_FUZZ_CORPUS;

class CorpusReplay : public testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryInputPasses) {
    const Target& target = GetParam();
    const fs::path directory = Corpus / target.name;
    if (!fs::is_directory(directory)) GTEST_SKIP() << "no corpus for " << target.name;
    int replayed = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        bool read = false;
        const std::string input = test::ReadFile(entry.path().string(), &read);
        ASSERT_TRUE(read) << entry.path();
        EXPECT_EQ(target.check(input), "") << entry.path();
        ++replayed;
    }
    EXPECT_GT(replayed, 0) << "an empty corpus directory";
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, testing::ValuesIn(Targets),
                         [](const testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.name);
                         });

// A corpus without its target would never run.
TEST(Corpus, EveryDirectoryNamesATarget) {
    ASSERT_TRUE(fs::is_directory(Corpus)) << Corpus;
    for (const fs::directory_entry& entry : fs::directory_iterator(Corpus)) {
        const std::string name = entry.path().filename().string();
        bool known = false;
        for (const Target& target : Targets) known = known || name == target.name;
        EXPECT_TRUE(known) << name;
    }
}

}  // namespace
}  // namespace kd::fuzz
