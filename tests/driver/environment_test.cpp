// KELDO and PATH: the PATH rewrite, and the registry writes through the
// POSIX stand-in (the Windows registry is covered by the end-to-end runs in
// the Wine prefix; these tests never touch a real machine environment).
#include <gtest/gtest.h>

#include <optional>
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
    std::u16string path;
    std::u16string expected;
    std::u16string oldBin = u"C:\\keldo\\Bin";  // from the default c:\keldo
};

TEST(RewritePath, ReplacesOneEntryOrAppends) {
    const std::u16string bin = u"E:\\New Keldo\\Bin";
    // Entries outside any code page, and a lone surrogate, that must come back unit for unit.
    const std::u16string wide = u"C:\\Программы\\bin;C:\\日本語\\tools;C:\\ｆｕｌｌ\\bin;C:\\Ωmega;C:\\Café\\x;"
                                u"C:\\lone\xD800;%SystemRoot%\\system32";
    const PathCase cases[] = {
        {"empty", u"", bin},
        {"old bin in another case", u"C:\\Windows;c:\\Keldo\\bin;C:\\Tools",
         u"C:\\Windows;" + bin + u";C:\\Tools"},
        {"old bin upper case", u"C:\\KELDO\\BIN", bin},
        {"old bin with subdirectory", u"C:\\a;C:\\keldo\\Bin\\x64;C:\\b", u"C:\\a;" + bin + u"\\x64;C:\\b"},
        {"subdirectory after blanks", u"C:\\a; c:/KELDO/bin/x64", u"C:\\a; " + bin + u"/x64"},
        {"old bin quoted, blanks, slashes", u"C:\\a; \"c:/KELDO/bin\\\" ;C:\\b", u"C:\\a;" + bin + u";C:\\b"},
        {"longer name", u"C:\\keldo\\Binaries;C:\\keldo\\Bin", u"C:\\keldo\\Binaries;" + bin},
        {"before subdir", u"C:\\keldo\\Bin\\tools;C:\\Windows;C:\\keldo\\Bin", u"C:\\keldo\\Bin\\tools;C:\\Windows;" + bin},
        {"inside an entry", u"XC:\\keldo\\Bin;C:\\Windows", bin + u";C:\\Windows"},
        {"product first", u"%KELDO%\\bin;C:\\a;C:\\b", bin + u";C:\\a;C:\\b"},
        {"product middle", u"C:\\a;D:\\old keldo\\bin;C:\\b", u"C:\\a;" + bin + u";C:\\b"},
        {"product last", u"C:\\a;C:\\b;D:\\Keldo2", u"C:\\a;C:\\b;" + bin},
        {"only the first product entry", u"C:\\a;D:\\keldo;E:\\keldo", u"C:\\a;" + bin + u";E:\\keldo"},
        {"old bin before product", u"D:\\keldo;C:\\KELDO\\BIN", u"D:\\keldo;" + bin},
        {"no entry", u"C:\\a;C:\\b", u"C:\\a;C:\\b;" + bin},
        {"trailing separator", u"C:\\a;", u"C:\\a;;" + bin},
        {"unexpanded reference kept", u"%SystemRoot%;C:\\b", u"%SystemRoot%;C:\\b;" + bin},
        {"wide entries appended to", wide, wide + u";" + bin},
        {"wide entries around old bin", wide + u";c:\\keldo\\bin;" + wide, wide + u";" + bin + u";" + wide},
        {"wide entries around product", u"C:\\日本語;D:\\Keldo\xD800;C:\\Ωmega", u"C:\\日本語;" + bin + u";C:\\Ωmega"},
        // Only ASCII letters fold: fullwidth and Greek look-alikes are other names.
        {"fullwidth product is no product", u"C:\\ＫＥＬＤＯ;C:\\ｋｅｌｄｏ", u"C:\\ＫＥＬＤＯ;C:\\ｋｅｌｄｏ;" + bin},
        {"look-alike old bin is no old bin", u"C:\\ΚΕLDO\\BIN", u"C:\\ΚΕLDO\\BIN;" + bin},
        // The Bin text of a relative old destination ("y") only counts where an entry begins.
        {"relative old bin ends no other entry", u"C:\\Ruby\\Bin;C:\\x;y\\Bin;C:\\z",
         u"C:\\Ruby\\Bin;C:\\x;" + bin + u";C:\\z", u"y\\Bin"},
        {"relative old bin first", u"y\\bin\\x64;C:\\Ruby\\Bin", bin + u"\\x64;C:\\Ruby\\Bin", u"y\\Bin"},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(driver::RewritePath(c.path, bin, c.oldBin), c.expected) << c.name;
    }
    // Folding only ASCII: an old Bin text with "é" matches that letter in its own case only.
    const std::u16string accented = u"E:\\CAFé\\BIN";
    EXPECT_EQ(driver::RewritePath(u"x;e:\\café\\bin;y", bin, accented), u"x;" + bin + u";y");
    EXPECT_EQ(driver::RewritePath(u"x;e:\\CAFÉ\\bin", bin, accented), u"x;e:\\CAFÉ\\bin;" + bin);
}

TEST(RewritePath, WorksOnValuesLongerThan2047Characters) {
    const std::u16string bin = u"E:\\k\\Bin";
    const std::u16string before(3000, u'a'), after(3000, u'ж');
    EXPECT_EQ(driver::RewritePath(before + u";x:\\keldo;" + after, bin, u"C:\\KELDO\\BIN"),
              before + u";" + bin + u";" + after);
    EXPECT_EQ(driver::RewritePath(before, bin, u"C:\\KELDO\\BIN"), before + u";" + bin);
}

// UpdateSystemEnvironment against the stand-in's registry file.
class UpdateEnvironmentTest : public testing::Test {
protected:
    void SetUp() override {
        if (test::IsWindowsBuild()) GTEST_SKIP() << "runs against the POSIX stand-in only";
        test::SetEnvironment("KD_REGISTRY_FILE", registryFile.c_str());
    }
    void TearDown() override { test::SetEnvironment("KD_REGISTRY_FILE", nullptr); }

    // The stored bytes of a value.
    std::string Value(const char* name, ValueType* type = nullptr, RegistryRead expected = RegistryRead::Ok) {
        std::u16string value;
        EXPECT_EQ(platform::ReadEnvironmentRegistryValue(name, value, type), expected) << name;
        return test::Bytes(value);
    }
    static bool Write(const char* name, const std::string& bytes, ValueType type) {
        return platform::WriteEnvironmentRegistryValue(name, test::Units(bytes), type);
    }
    std::string Update(const std::string& destination, const std::string& defaultDestination) {
        test::ScriptedConsole console("");
        const std::string bin = driver::UpdateSystemEnvironment(console.Get(), destination, defaultDestination);
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
    ASSERT_TRUE(Write("Path", "%SystemRoot%;D:\\KELDO\\BIN;C:\\x", ValueType::String));
    Update("D:\\Keldo", "D:\\Keldo");
    ValueType type{};
    EXPECT_EQ(Value("PATH", &type), "%SystemRoot%;D:\\Keldo\\Bin;C:\\x");
    EXPECT_EQ(type, ValueType::ExpandString);
}

TEST_F(UpdateEnvironmentTest, ReadsAndWritesALongPathWhole) {
    std::string entries;
    for (int i = 0; entries.size() < 5000; ++i) entries += "C:\\tools\\t" + std::to_string(i) + ";";
    ASSERT_TRUE(Write("PATH", entries + "C:\\KELDO\\BIN;C:\\last", ValueType::ExpandString));
    Update("c:\\keldo", "c:\\keldo");
    EXPECT_EQ(Value("PATH"), entries + "c:\\keldo\\Bin;C:\\last");
}

// A record of the stand-in's file: name, type, length, data.
std::string Record(const std::string& type, const std::string& data) {
    return "PATH\t" + type + "\t" + std::to_string(data.size()) + "\n" + data + "\n";
}

TEST_F(UpdateEnvironmentTest, LeavesAPathThatIsNoPlainStringAsItIs) {
    using namespace std::string_literals;
    struct OddCase {
        const char* name;
        std::string stored;                  // the file's PATH record
        std::optional<std::string> rewritten;  // the new PATH, or none: left as it is
    };
    const OddCase cases[] = {
        // The value exists but cannot be read.
        {"damaged record", "PATH\tREG_EXPAND_SZ\t999\nC:\\a;C:\\b\n", std::nullopt},
        {"multi string", Record("7", "C:\\a\0C:\\b\0C:\\c\0\0"s), std::nullopt},
        {"binary", Record("3", "C:\\a;C:\\b"), std::nullopt},
        {"number", Record("4", "\x01\0\0\0"s), std::nullopt},
        {"NUL inside an expandable string", Record("REG_EXPAND_SZ", "C:\\a\0C:\\b"s), std::nullopt},
        {"NUL inside a string", Record("REG_SZ", "C:\\a;\0;C:\\b\0"s), std::nullopt},
        {"two NULs at the end", Record("REG_SZ", "C:\\a\0\0"s), std::nullopt},
        // One NUL at the end is where a stored string ends.
        {"terminated string", Record("REG_SZ", "C:\\a;C:\\b\0"s), "C:\\a;C:\\b;E:\\Keldo\\Bin"},
        {"bytes outside ASCII", Record("REG_EXPAND_SZ", "C:\\\xC3\xA9t\xE9;\xFF"), "C:\\\xC3\xA9t\xE9;\xFF;E:\\Keldo\\Bin"},
    };
    for (const OddCase& c : cases) {
        ASSERT_TRUE(test::WriteFile(registryFile, c.stored));
        Update("E:\\Keldo", "c:\\keldo");
        EXPECT_EQ(Value("KELDO"), "E:\\Keldo") << c.name;  // written all the same
        if (c.rewritten) {
            ValueType type{};
            EXPECT_EQ(Value("PATH", &type), *c.rewritten) << c.name;
            EXPECT_EQ(type, ValueType::ExpandString) << c.name;
        } else {
            EXPECT_NE(test::ReadFile(registryFile).find(c.stored), std::string::npos) << c.name;
        }
    }
}

TEST_F(UpdateEnvironmentTest, PassesOverAKeyThatCannotBeOpened) {
    test::SetEnvironment("KD_REGISTRY_FILE", nullptr);
    EXPECT_EQ(Update("E:\\Keldo", "c:\\keldo"), "E:\\Keldo\\Bin");
    EXPECT_FALSE(test::IsFile(registryFile));
}

}  // namespace
}  // namespace kd
