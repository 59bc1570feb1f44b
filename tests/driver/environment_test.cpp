// KELDO and PATH: the PATH rewrite, and the registry writes through the
// POSIX stand-in (the Windows registry is covered by the end-to-end runs in
// the Wine prefix; these tests never touch a real machine environment).
#include <gtest/gtest.h>

#include <string>

#include "driver/environment.h"
#include "driver_test_support.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace kd {
namespace {

using platform::RegistryRead;
using platform::ValueType;

struct PathCase {
    const char* name;
    std::string path;
    std::string expected;
};

TEST(RewritePath, ReplacesOneEntryOrAppends) {
    const std::string bin = "E:\\New Keldo\\Bin";
    const std::string oldBin = "C:\\KELDO\\BIN";  // from the default c:\keldo
    const PathCase cases[] = {
        {"empty", "", bin},
        {"old bin in another case", "C:\\Windows;c:\\Keldo\\bin;C:\\Tools",
         "C:\\Windows;" + bin + ";C:\\Tools"},
        {"old bin upper case", "C:\\KELDO\\BIN", bin},
        {"old bin with subdirectory", "C:\\a;C:\\keldo\\Bin\\x64;C:\\b", "C:\\a;" + bin + "\\x64;C:\\b"},
        {"product first", "%KELDO%\\bin;C:\\a;C:\\b", bin + ";C:\\a;C:\\b"},
        {"product middle", "C:\\a;D:\\old keldo\\bin;C:\\b", "C:\\a;" + bin + ";C:\\b"},
        {"product last", "C:\\a;C:\\b;D:\\Keldo2", "C:\\a;C:\\b;" + bin},
        {"only the first product entry", "C:\\a;D:\\keldo;E:\\keldo", "C:\\a;" + bin + ";E:\\keldo"},
        {"old bin before product", "D:\\keldo;C:\\KELDO\\BIN", "D:\\keldo;" + bin},
        {"no entry", "C:\\a;C:\\b", "C:\\a;C:\\b;" + bin},
        {"trailing separator", "C:\\a;", "C:\\a;;" + bin},
        {"unexpanded reference kept", "%SystemRoot%;C:\\b", "%SystemRoot%;C:\\b;" + bin},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(RewritePath(c.path, bin, oldBin), c.expected) << c.name;
    }
}

TEST(RewritePath, WorksOnValuesLongerThan2047Characters) {
    const std::string bin = "E:\\k\\Bin";
    const std::string before(3000, 'a'), after(3000, 'b');
    EXPECT_EQ(RewritePath(before + ";x:\\keldo;" + after, bin, "C:\\KELDO\\BIN"),
              before + ";" + bin + ";" + after);
    EXPECT_EQ(RewritePath(before, bin, "C:\\KELDO\\BIN"), before + ";" + bin);
}

// UpdateSystemEnvironment against the stand-in's registry file.
class UpdateEnvironmentTest : public testing::Test {
protected:
    void SetUp() override {
        if (test::IsWindowsBuild()) GTEST_SKIP() << "runs against the POSIX stand-in only";
        test::SetEnvironment("KD_REGISTRY_FILE", registryFile.c_str());
    }
    void TearDown() override { test::SetEnvironment("KD_REGISTRY_FILE", nullptr); }

    std::string Value(const char* name, ValueType* type = nullptr, RegistryRead expected = RegistryRead::Ok) {
        std::string value;
        EXPECT_EQ(platform::ReadEnvironmentRegistryValue(name, value, type), expected) << name;
        return value;
    }
    std::string Update(const std::string& destination, const std::string& defaultDestination) {
        test::ScriptedConsole console("");
        const std::string bin = UpdateSystemEnvironment(console.Get(), destination, defaultDestination);
        EXPECT_EQ(console.Output(), "\nUpdating environment...");
        return bin;
    }

    test::TempDir root;
    std::string registryFile = root / "registry";
};

TEST_F(UpdateEnvironmentTest, FirstInstallationWritesKeldoAndPath) {
    EXPECT_EQ(Update("E:\\Keldo", "c:\\keldo"), "E:\\Keldo\\Bin");
    ValueType type{};
    EXPECT_EQ(Value("KELDO", &type), "E:\\Keldo");
    EXPECT_EQ(type, ValueType::String);
    EXPECT_EQ(Value("PATH", &type), "E:\\Keldo\\Bin");  // alone, no ";"
    EXPECT_EQ(type, ValueType::ExpandString);
}

TEST_F(UpdateEnvironmentTest, RewritesAStringPathAsExpandable) {
    ASSERT_TRUE(platform::WriteEnvironmentRegistryValue("Path", "%SystemRoot%;D:\\KELDO\\BIN;C:\\x",
                                                        ValueType::String));
    Update("D:\\Keldo", "D:\\Keldo");
    ValueType type{};
    EXPECT_EQ(Value("PATH", &type), "%SystemRoot%;D:\\Keldo\\Bin;C:\\x");
    EXPECT_EQ(type, ValueType::ExpandString);
}

TEST_F(UpdateEnvironmentTest, ReadsAndWritesALongPathWhole) {
    std::string entries;
    for (int i = 0; entries.size() < 5000; ++i) entries += "C:\\tools\\t" + std::to_string(i) + ";";
    ASSERT_TRUE(platform::WriteEnvironmentRegistryValue("PATH", entries + "C:\\KELDO\\BIN;C:\\last",
                                                        ValueType::ExpandString));
    Update("c:\\keldo", "c:\\keldo");
    EXPECT_EQ(Value("PATH"), entries + "c:\\keldo\\Bin;C:\\last");
}

TEST_F(UpdateEnvironmentTest, LeavesAnUnreadablePathAsItIs) {
    // A damaged record: the value exists but cannot be read.
    const std::string damaged = "PATH\tREG_EXPAND_SZ\t999\nC:\\a;C:\\b\n";
    ASSERT_TRUE(test::WriteFile(registryFile, damaged));
    Value("PATH", nullptr, RegistryRead::Failed);
    Update("E:\\Keldo", "c:\\keldo");
    EXPECT_EQ(Value("KELDO"), "E:\\Keldo");
    const std::string file = test::ReadFile(registryFile);
    ASSERT_GE(file.size(), damaged.size());
    EXPECT_EQ(file.substr(file.size() - damaged.size()), damaged);
}

TEST_F(UpdateEnvironmentTest, PassesOverAKeyThatCannotBeOpened) {
    test::SetEnvironment("KD_REGISTRY_FILE", nullptr);
    EXPECT_EQ(Update("E:\\Keldo", "c:\\keldo"), "E:\\Keldo\\Bin");
    EXPECT_FALSE(test::IsFile(registryFile));
}

}  // namespace
}  // namespace kd
