// Links that another user planted in the destination before an installation,
// and a destination that another user made: nothing is followed or written
// through them, nothing outside the destination changes, and the links of the
// installing account (an administrator's relocated data folder) still work.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "package_support.h"
#include "platform/platform.h"
#include "support/planted.h"

namespace kd::test {
namespace {

namespace fs = std::filesystem;

enum class Points { Nothing, Folder, ReadOnlyFile, TextFile };  // Nothing: the name is a directory
enum class Owner { OtherUser, InstallingAccount };
using platform::NameKind;

struct PlantedCase {
    std::string name;
    std::string planted;  // below the destination; "" is the destination itself
    Points points;
    Owner owner;
    std::string script;   // after the header
    std::string error;    // {D}: the destination; empty when the installation goes through
    NameKind plantedAfter;
    const char* notUnderWine;  // why Wine cannot show the row; null: it runs there
    Snapshot outsideChanges = {};  // entries of the outside folder written through a trusted link
};

void PrintTo(const PlantedCase& c, std::ostream* out) { *out << c.name; }

std::string Dir(const std::string& name) { return "[DIR]\nName = " + name + "\n"; }
std::string File(const std::string& name, const std::string& data) {
    return "[FILE]\nName = " + name + "\nSize = " + std::to_string(data.size()) + "\n" + data;
}

// Every entry of the outside folder: content, then its permission bits (the
// read-only attribute under Windows).
Snapshot OutsideState(const std::string& root) {
    Snapshot state;
    for (const std::string& entry : ListTree(root)) {
        const std::string path = root + "/" + entry;
        const auto bits = static_cast<unsigned>(fs::status(path).permissions());
        state[entry] = (entry.back() == '/' ? "" : ReadFile(path)) + " mode " + std::to_string(bits);
    }
    return state;
}

constexpr const char* FileLinkOnWine = "Wine shows a link to a file as a plain file";

class PlantedLink : public testing::TestWithParam<PlantedCase> {};

TEST_P(PlantedLink, IsNotFollowed) {
    const PlantedCase& c = GetParam();
    if (!CanPlantLinks()) GTEST_SKIP() << "planting links as another user needs root (Wine as root)";
    if (RunningUnderWine() && c.notUnderWine) GTEST_SKIP() << c.notUnderWine;
    Installation run;
    TempDir outside;
    const std::string folder = outside / "out";
    fs::create_directories(folder);
    ASSERT_TRUE(WriteFile(folder + "/a.dat", "outside a"));
    ASSERT_TRUE(WriteFile(folder + "/notes.txt", "one\ntwo\n"));
    ASSERT_TRUE(WriteFile(folder + "/data.bin", std::string("\x01\n\x02\0", 4)));
    ASSERT_TRUE(WriteFile(folder + "/kds.exe", "outside exe"));
    ASSERT_EQ(platform::SetReadOnly((folder + "/kds.exe").c_str()), platform::Error::None);

    const std::string planted = c.planted.empty() ? run.destination : run.destination + "/" + c.planted;
    fs::create_directories(fs::path(planted).parent_path());
    if (c.points == Points::Nothing) {
        fs::create_directories(planted);
    } else {
        const std::string target = c.points == Points::Folder         ? folder
                                   : c.points == Points::ReadOnlyFile ? folder + "/kds.exe"
                                                                      : folder + "/notes.txt";
        ASSERT_TRUE(MakeLink(target, planted));
    }
    if (c.owner == Owner::OtherUser) {
        ASSERT_TRUE(GiveToOtherUser(planted));
    }
    Snapshot outsideAfter = OutsideState(outside.Path());
    const Snapshot destinationBefore = run.Installed();

    const bool ok = run.Install(Head + c.script);
    EXPECT_EQ(run.package.errorText, run.Expand(c.error));
    EXPECT_EQ(ok, c.error.empty());
    for (const auto& [entry, content] : c.outsideChanges) {
        const std::string& before = outsideAfter[entry];
        outsideAfter[entry] = content + before.substr(before.find(" mode "));
    }
    EXPECT_EQ(OutsideState(outside.Path()), outsideAfter);
    EXPECT_EQ(platform::KindOfName(planted.c_str()), c.plantedAfter);
    // A refused destination gets nothing, not even the temporary file.
    if (c.planted.empty()) {
        EXPECT_EQ(run.Installed(), destinationBefore);
    }
    EXPECT_FALSE(HasTemporaryFile(run.dir.Path()));
}

INSTANTIATE_TEST_SUITE_P(
    Destination, PlantedLink,
    testing::ValuesIn(std::vector<PlantedCase>{
        {"RmdirThroughLink", "Bin", Points::Folder, Owner::OtherUser,
         "[RMDIR]\nName = Bin\nWithsubdir = YES\n", "cannot remove directory: {D}\\Bin",
         NameKind::Link, nullptr},
        {"DirAndFileThroughLink", "Bin", Points::Folder, Owner::OtherUser,
         Dir("Bin") + File("a.dat", "new a"), "cannot create directory: {D}\\Bin", NameKind::Link,
         nullptr},
        {"FileOverLinkToReadOnlyFile", "Bin/kds.exe", Points::ReadOnlyFile, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "new exe"), "Cannot create file {D}\\Bin\\kds.exe",
         NameKind::Link, FileLinkOnWine},
        {"PackageTemporaryFileIsALink", "core.pkg.kd_temp", Points::TextFile, Owner::OtherUser,
         Dir("") + File("x", "1"), "", NameKind::Missing, FileLinkOnWine},
        {"ConversionTemporaryFileIsALink", "doc/readme.txt.kd_temp", Points::TextFile,
         Owner::OtherUser, Dir("doc") + File("readme.txt", "a\nb\n") + "[TEXTFILE]\nName = readme.txt\n",
         "", NameKind::Missing, FileLinkOnWine},
        {"TextdirThroughLink", "doc", Points::Folder, Owner::OtherUser, "[TEXTDIR]\nName = doc\n",
         "cannot list directory: {D}\\doc", NameKind::Link, nullptr},
        {"RemovefileThroughLink", "Bin", Points::Folder, Owner::OtherUser,
         Dir("Bin") + "[REMOVEFILE]\nName = *\n", "cannot create directory: {D}\\Bin",
         NameKind::Link, nullptr},
        // After DIR each command looks at the levels of its own target again.
        {"FileBelowLink", "Bin", Points::Folder, Owner::OtherUser, Dir("") + File("Bin/a.dat", "new a"),
         "Cannot create file {D}\\Bin/a.dat", NameKind::Link, nullptr},
        {"RemovefileBelowLink", "Bin", Points::Folder, Owner::OtherUser,
         Dir("") + "[REMOVEFILE]\nName = Bin/a.dat\n", "", NameKind::Link, nullptr},
        {"TextfileBelowLink", "Bin", Points::Folder, Owner::OtherUser,
         Dir("") + "[TEXTFILE]\nName = Bin/notes.txt\n", "Cannot set text file {D}\\Bin/notes.txt",
         NameKind::Link, nullptr},
        {"TextdirListsALink", "t/x.txt", Points::TextFile, Owner::OtherUser, "[TEXTDIR]\nName = t\n",
         "Cannot set text file {D}\\t\\x.txt", NameKind::Link, FileLinkOnWine},
        {"RemovefilePassesOverAListedLink", "d/x.txt", Points::TextFile, Owner::OtherUser,
         Dir("d") + "[REMOVEFILE]\nName = *\n", "", NameKind::Link, FileLinkOnWine},
        {"DestinationMadeByAnotherUser", "", Points::Nothing, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Plain, nullptr},
        {"DestinationIsALink", "", Points::Folder, Owner::OtherUser, Dir("") + File("a.dat", "x"),
         "cannot use target directory: {D}", NameKind::Link, nullptr},
        // Links of the installing account are followed as they always were,
        // but RMDIR removes a link below its target without entering it.
        {"LinkOfTheInstallingAccount", "Bin", Points::Folder, Owner::InstallingAccount,
         Dir("Bin") + File("a.dat", "new a"), "", NameKind::Link, nullptr, {{"out/a.dat", "new a"}}},
        {"TrustedLinkBelowRmdirTarget", "var/data", Points::Folder, Owner::InstallingAccount,
         "[RMDIR]\nName = var\nWithsubdir = YES\n", "", NameKind::Missing,
         "Wine cannot remove a link to a directory, only what it points to"},
    }),
    [](const testing::TestParamInfo<PlantedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kd::test
