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

// Nothing: the name is a directory; the Hard* kinds are second names of the
// outside files, Fifo a FIFO. OthersFolder: the folder belongs to the other
// user; ThroughOthersLink: a link to "u/inner", where "u" is the other user's
// link to the other user's folder; OpenFolder: a folder everyone may write;
// OpenHardTextFile: in a destination everyone may write, a second name of the
// outside text file, which everyone may write too.
// InsideOthersFolder, InsideOpenFolder: a link to a folder of the installing
// account inside the other user's folder, or inside a folder anyone may
// write; StickyFolder: a folder anyone may add to, sticky as /tmp; PlainFile:
// a file. FolderBesideLookalike: a link to the outside folder beside a file
// named as the link, U+FF3C, "a.dat" (best-fit mapping reads "j\a.dat").
enum class Points { Nothing, OpenFolder, StickyFolder, Folder, ReadOnlyFile, TextFile, HardReadOnlyFile,
                    HardTextFile, OpenHardTextFile, Fifo, PlainFile, FolderBesideLookalike,
                    OthersFolder, ThroughOthersLink, InsideOthersFolder, InsideOpenFolder, Itself };
// What the other user does during the installation: swap "big.txt" for a
// link to an outside file once the conversion's temporary file appears;
// rename the directory "d1" away and put a link to the outside folder in its
// place just before it is listed.
// ... or add a file of theirs to "d" once it is listed.
enum class Race { None, SwapConvertedFile, SwapListedDirectory, AddToListedDirectory };
enum class Owner { OtherUser, InstallingAccount };

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
    std::string below = {};  // installs into this folder below the planted destination
    Race race = Race::None;
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
constexpr const char* NoFifoOnWindows = "Windows has no FIFOs";
constexpr const char* NoRacesOnWine = "Wine follows links through handles: only names can be checked";

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
    if (c.points == Points::Nothing || c.points == Points::OpenFolder || c.points == Points::StickyFolder) {
        fs::create_directories(planted);
        if (c.points != Points::Nothing) fs::permissions(planted, fs::perms::all);
        if (c.points == Points::StickyFolder) fs::permissions(planted, fs::perms::sticky_bit, fs::perm_options::add);
    } else if (c.points == Points::PlainFile) {
        ASSERT_TRUE(WriteNamedFile(planted, "other's"));
    } else if (c.points == Points::FolderBesideLookalike) {
        ASSERT_TRUE(MakeLink(folder, planted) && WriteNamedFile(planted + "\uFF3C" "a.dat", "mine"));
    } else if (c.points == Points::InsideOthersFolder || c.points == Points::InsideOpenFolder) {
        const std::string holder = outside / "holder";
        fs::create_directories(holder + "/inner");
        ASSERT_TRUE(c.points == Points::InsideOthersFolder ? GiveToOtherUser(holder)
                                                           : (fs::permissions(holder, fs::perms::all), true));
        ASSERT_TRUE(MakeLink(holder + "/inner", planted));
    } else if (c.points == Points::Fifo) {
        ASSERT_TRUE(MakeFifo(planted));
    } else if (c.points == Points::OthersFolder || c.points == Points::ThroughOthersLink) {
        const std::string others = outside / "others";
        fs::create_directories(others + "/inner");
        ASSERT_TRUE(GiveToOtherUser(others + "/inner") && GiveToOtherUser(others));
        const bool direct = c.points == Points::OthersFolder;
        if (!direct) {
            ASSERT_TRUE(MakeLink(others, outside / "u") && GiveToOtherUser(outside / "u"));
        }
        ASSERT_TRUE(MakeLink(direct ? others : outside / "u/inner", planted));
    } else if (c.points == Points::Itself) {
        ASSERT_TRUE(MakeLink(planted, planted));
    } else if (c.points == Points::HardReadOnlyFile || c.points == Points::HardTextFile ||
               c.points == Points::OpenHardTextFile) {
        const char* name = c.points == Points::HardReadOnlyFile ? "/kds.exe" : "/notes.txt";
        ASSERT_TRUE(MakeHardLink(folder + name, planted));
        if (c.points == Points::OpenHardTextFile) {
            fs::permissions(run.destination, fs::perms::all);
            fs::permissions(planted, fs::perms::owner_all | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::add);
        }
    } else {
        const std::string target = c.points == Points::Folder         ? folder
                                   : c.points == Points::ReadOnlyFile ? folder + "/kds.exe"
                                                                      : folder + "/notes.txt";
        ASSERT_TRUE(MakeLink(target, planted));
    }
    if (c.owner == Owner::OtherUser) {
        ASSERT_TRUE(GiveToOtherUser(planted));
    }
    if (!c.below.empty()) {
        run.destination = (fs::path(planted) / c.below).string();
        fs::create_directories(fs::path(run.destination).parent_path());
    }
    if (c.race == Race::SwapConvertedFile) {
        fs::permissions(planted, fs::perms::all);
    } else if (c.race == Race::SwapListedDirectory) {
        fs::create_directories(planted + "/d1");
        for (const char* name : {"a.dat", "notes.txt", "data.bin"}) {
            ASSERT_TRUE(WriteFile(planted + "/d1/" + name, "other's"));
        }
        ASSERT_TRUE(GiveToOtherUser(planted + "/d1"));
    }
    Snapshot outsideAfter = OutsideState(folder);
    // Read only where needed: reading a planted FIFO would wait for a writer.
    const Snapshot destinationBefore = c.planted.empty() ? run.Installed() : Snapshot{};

    // The other user acts between a check and the use of what was checked.
    int lists = 0;
    platform::SetStepCallback([&](platform::Step step, const std::string& name) {
        if (c.race == Race::SwapConvertedFile && step == platform::Step::Create &&
            name == "big.txt.kd_temp") {
            fs::remove(planted + "/big.txt");
            MakeLink(folder + "/notes.txt", planted + "/big.txt");
        } else if (c.race == Race::AddToListedDirectory && step == platform::Step::List && ++lists == 1) {
            WriteFile(planted + "/evil.dll", "other's");
            GiveToOtherUser(planted + "/evil.dll");
        } else if (c.race == Race::SwapListedDirectory && step == platform::Step::List &&
                   ++lists == 2) {
            fs::rename(planted + "/d1", outside / "d1.away");
            MakeLink(folder, planted + "/d1");
        }
    });
    const bool ok = run.Install(Head + c.script);
    platform::SetStepCallback(nullptr);
    EXPECT_EQ(run.package.errorText, run.Expand(c.error));
    EXPECT_EQ(ok, c.error.empty());
    for (const auto& [entry, content] : c.outsideChanges) {
        const std::string& before = outsideAfter[entry];
        outsideAfter[entry] = content + before.substr(before.find(" mode "));
    }
    EXPECT_EQ(OutsideState(folder), outsideAfter);
    EXPECT_EQ(KindOfName(planted), c.plantedAfter);
    // The harness lists by the names Windows trims: a name with a trailing dot goes first.
    if (c.points == Points::PlainFile) RemoveNamedFile(planted);
    if (ok && c.points == Points::OpenFolder) {
        EXPECT_TRUE(OtherWriters(planted).empty());
    }
    // A refused destination gets nothing, not even the temporary file.
    if (c.planted.empty() && !c.error.empty()) {
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
         Dir("Bin") + File("kds.exe", "new exe"), "cannot create directory: {D}\\Bin",
         NameKind::Link, FileLinkOnWine},
        {"PackageTemporaryFileIsALink", "core.pkg.kd_temp", Points::TextFile, Owner::OtherUser,
         Dir("") + File("x", "1"), "", NameKind::Missing, FileLinkOnWine},
        {"ConversionTemporaryFileIsALink", "doc/readme.txt.kd_temp", Points::TextFile,
         Owner::InstallingAccount, Dir("doc") + File("readme.txt", "a\nb\n") + "[TEXTFILE]\nName = readme.txt\n",
         "", NameKind::Missing, FileLinkOnWine},
        {"TextdirThroughLink", "doc", Points::Folder, Owner::OtherUser, "[TEXTDIR]\nName = doc\n",
         "cannot list directory: {D}\\doc", NameKind::Link, nullptr},
        {"RemovefileThroughLink", "Bin", Points::Folder, Owner::OtherUser,
         Dir("Bin") + "[REMOVEFILE]\nName = *\n", "cannot create directory: {D}\\Bin",
         NameKind::Link, nullptr},
        // After DIR each command looks at the levels of its own target again.
        {"FileBelowLink", "x/Bin", Points::Folder, Owner::OtherUser,
         Dir("") + File("x/Bin/a.dat", "new a"), "Cannot create file {D}\\x/Bin/a.dat",
         NameKind::Link, nullptr},
        {"RemovefileBelowLink", "x/Bin", Points::Folder, Owner::OtherUser,
         Dir("") + "[REMOVEFILE]\nName = x/Bin/a.dat\n", "", NameKind::Link, nullptr},
        {"TextfileBelowLink", "x/Bin", Points::Folder, Owner::OtherUser,
         Dir("") + "[TEXTFILE]\nName = x/Bin/notes.txt\n",
         "Cannot set text file {D}\\x/Bin/notes.txt", NameKind::Link, nullptr},
        {"TextdirListsALink", "t/x.txt", Points::TextFile, Owner::OtherUser, "[TEXTDIR]\nName = t\n",
         "Cannot set text file {D}\\t\\x.txt", NameKind::Link, FileLinkOnWine},
        // Every entry directly in a level DIR passes must be ours.
        {"DirMeetsAnotherUsersLink", "d/x.txt", Points::TextFile, Owner::OtherUser,
         Dir("d") + "[REMOVEFILE]\nName = *\n", "cannot create directory: {D}\\d", NameKind::Link,
         FileLinkOnWine},
        {"DirMeetsAnotherUsersFolder", "Bin", Points::Nothing, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot create directory: {D}\\Bin", NameKind::Plain,
         nullptr},
        // Levels others may write are closed; a parent whose entries others
        // may rename is no place for a destination, new or old.
        {"DirIntoAFolderOthersMayWrite", "Bin", Points::OpenFolder, Owner::InstallingAccount,
         Dir("Bin") + File("kds.exe", "x"), "", NameKind::Plain, nullptr},
        {"FileIntoAFolderOthersMayWrite", "Bin", Points::OpenFolder, Owner::InstallingAccount,
         Dir("") + File("Bin/kds.exe", "x"), "", NameKind::Plain, nullptr},
        {"TextdirInAFolderOthersMayWrite", "doc", Points::OpenFolder, Owner::InstallingAccount,
         Dir("") + "[TEXTDIR]\nName = doc\n", "", NameKind::Plain, nullptr},
        {"DestinationInAnotherUsersFolder", "", Points::Nothing, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Plain,
         nullptr, {}, "c"},
        {"DestinationInAFolderOthersMayWrite", "", Points::OpenFolder, Owner::InstallingAccount,
         Dir("Bin") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Plain,
         "Wine grants all on a folder of mode 0777 but the right to delete its entries", {}, "c"},
        {"DestinationMadeByAnotherUser", "", Points::Nothing, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Plain, nullptr},
        {"DestinationIsALink", "", Points::Folder, Owner::OtherUser, Dir("") + File("a.dat", "x"),
         "cannot use target directory: {D}", NameKind::Link, nullptr},
        {"DestinationBelowALink", "", Points::Folder, Owner::OtherUser, Dir("") + File("a.dat", "x"),
         "cannot use target directory: {D}", NameKind::Link, nullptr, {}, "c"},
        {"DestinationDotBelowALink", "", Points::Folder, Owner::OtherUser,
         Dir("") + File("a.dat", "x"), "cannot use target directory: {D}", NameKind::Link, nullptr,
         {}, "."},
        // Every level above the destination: nobody else may rename one or
        // what it holds, after a trusted link too; adding is allowed.
        {"LevelAboveTheParentIsAnotherUsers", "", Points::Nothing, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Plain, nullptr, {},
         "c/keldo"},
        {"LevelAboveOthersMayWrite", "", Points::OpenFolder, Owner::InstallingAccount,
         Dir("Bin") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Plain,
         "Wine grants all on a folder of mode 0777 but the right to delete its entries", {}, "c/keldo"},
        {"LevelAboveIsStickyForAll", "", Points::StickyFolder, Owner::InstallingAccount,
         Dir("Bin") + File("kds.exe", "x"), "", NameKind::Plain, "Wine drops the sticky bit", {}, "c/keldo"},
        {"DestinationIsATrustedLinkIntoAnotherUsersFolder", "", Points::InsideOthersFolder,
         Owner::InstallingAccount, Dir("") + File("kds.exe", "x"), "cannot use target directory: {D}",
         NameKind::Link, nullptr},
        {"DestinationIsATrustedLinkIntoAFolderOthersMayWrite", "", Points::InsideOpenFolder,
         Owner::InstallingAccount, Dir("") + File("kds.exe", "x"), "cannot use target directory: {D}",
         NameKind::Link, "Wine grants all on a folder of mode 0777 but the right to delete its entries"},
        {"BinIsATrustedLinkIntoAnotherUsersFolder", "Bin", Points::InsideOthersFolder, Owner::InstallingAccount,
         Dir("Bin") + File("kds.exe", "x"), "cannot create directory: {D}\\Bin", NameKind::Link, nullptr},
        // A level written into holds nothing of another user's, whichever
        // command writes there, and nothing can come in once it is closed.
        {"FileBesideAnotherUsersFile", "Bin/evil.dll", Points::PlainFile, Owner::OtherUser,
         Dir("") + File("Bin\\kds.exe", "x"), "Cannot create file {D}\\Bin\\kds.exe", NameKind::Plain, nullptr},
        {"FileAddedWhenTheLevelIsListed", "d", Points::Nothing, Owner::InstallingAccount,
         Dir("d") + File("kds.exe", "x"), "cannot create directory: {D}\\d", NameKind::Plain, NoRacesOnWine, {},
         {}, Race::AddToListedDirectory},
        // A trusted link is checked to its end: the folder it leads to, and
        // every link on the way there.
        {"DestinationIsATrustedLinkToAnotherUsersFolder", "", Points::OthersFolder,
         Owner::InstallingAccount, Dir("") + File("kds.exe", "x"), "cannot use target directory: {D}",
         NameKind::Link, nullptr},
        {"DestinationIsATrustedLinkThroughAnotherUsersLink", "", Points::ThroughOthersLink,
         Owner::InstallingAccount, Dir("") + File("kds.exe", "x"), "cannot use target directory: {D}",
         NameKind::Link, "Wine shows a link's owner as its target's: this chain cannot be planted"},
        {"DestinationIsALinkLoop", "", Points::Itself, Owner::InstallingAccount,
         Dir("") + File("kds.exe", "x"), "cannot use target directory: {D}", NameKind::Link, nullptr},
        // Names swapped between a check and its use change nothing outside.
        {"ConvertedFileSwappedForALink", "data", Points::Nothing, Owner::InstallingAccount,
         Dir("data") + File("big.txt", "a\nb\n") + "[TEXTFILE]\nName = big.txt\n", "",
         NameKind::Plain, NoRacesOnWine, {}, {}, Race::SwapConvertedFile},
        {"ListedDirectorySwappedForALink", "data", Points::Nothing, Owner::InstallingAccount,
         "[RMDIR]\nName = data\nWithsubdir = YES\n", "", NameKind::Plain, NoRacesOnWine, {}, {},
         Race::SwapListedDirectory},
        // A second name of an outside file: FILE replaces only the name, and
        // keeps a read-only one; a conversion would rewrite the outside file.
        {"FileOverHardLinkToReadOnlyFile", "Bin/kds.exe", Points::HardReadOnlyFile,
         Owner::InstallingAccount, Dir("Bin") + File("kds.exe", "new exe"),
         "Cannot create file {D}\\Bin\\kds.exe", NameKind::Plain, nullptr},
        {"FileOverHardLink", "Bin/notes.txt", Points::HardTextFile, Owner::InstallingAccount,
         Dir("Bin") + File("notes.txt", "new"), "", NameKind::Plain, nullptr},
        {"TextdirListsAHardLink", "t/x.txt", Points::HardTextFile, Owner::InstallingAccount,
         "[TEXTDIR]\nName = t\n", "Cannot set text file {D}\\t\\x.txt", NameKind::Plain, nullptr},
        {"ClosingMeetsAHardLink", "x.txt", Points::OpenHardTextFile, Owner::InstallingAccount,
         Dir("") + File("a.dat", "x"), "cannot use target directory: {D}", NameKind::Plain,
         "Wine shows a folder others may write with explicit entries: refused, never closed"},
        // A FIFO is replaced or fails the command, never waits for a writer.
        {"FileOverAFifo", "Bin/a.dat", Points::Fifo, Owner::InstallingAccount,
         Dir("Bin") + File("a.dat", "new a"), "", NameKind::Plain, NoFifoOnWindows},
        {"TextfileOnAFifo", "doc/p.txt", Points::Fifo, Owner::InstallingAccount,
         Dir("doc") + "[TEXTFILE]\nName = p.txt\n", "Cannot set text file {D}\\doc\\p.txt",
         NameKind::Plain, NoFifoOnWindows},
        // A listed name is acted on as listed, whatever the code page makes of it.
        {"RmdirBesideALookalikeOfAPathThroughALink", "doc/j", Points::FolderBesideLookalike, Owner::OtherUser,
         "[RMDIR]\nName = doc\nWithsubdir = NO\n", "", NameKind::Link, nullptr},
        {"LevelHoldsAnotherUsersNameTheCodePageLacks", "Bin/\u65E5.dll", Points::PlainFile, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot create directory: {D}\\Bin", NameKind::Plain, nullptr},
        {"LevelHoldsAnotherUsersNameWithATrailingDot", "Bin/kds.exe.", Points::PlainFile, Owner::OtherUser,
         Dir("Bin") + File("kds.exe", "x"), "cannot create directory: {D}\\Bin", NameKind::Plain, nullptr},
        // Links of the installing account are followed as they always were,
        // but RMDIR removes a link below its target without entering it.
        {"LinkOfTheInstallingAccount", "Bin", Points::Folder, Owner::InstallingAccount,
         Dir("Bin") + File("a.dat", "new a"), "", NameKind::Link, nullptr, {{"a.dat", "new a"}}},
        {"TrustedLinkBelowRmdirTarget", "var/data", Points::Folder, Owner::InstallingAccount,
         "[RMDIR]\nName = var\nWithsubdir = YES\n", "", NameKind::Missing,
         "Wine cannot remove a link to a directory, only what it points to"},
    }),
    [](const testing::TestParamInfo<PlantedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kd::test
