// Install under injected failures: whichever open, read, write, flush, close,
// delete or directory creation fails, the result is one of the messages that failure can
// give, never a success with a wrong tree, and no temporary file stays behind
// unless deleting that very file was refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <utility>
#include <ostream>
#include <string>
#include <vector>

#include "package_support.h"
#include "platform/platform.h"

namespace kd::test {
namespace {

const std::string script = Head +
                           "[DIR]\nName = a/b\n"
                           "[FILE]\nName = one.txt\nSize = 6\nline\n\n"
                           "[FILE]\nName = two.bin\nSize = 3\nxyz\n"
                           "[TEXTFILE]\nName = one.txt\n"
                           "[DIR]\nName = gone\n"
                           "[FILE]\nName = old.txt\nSize = 3\nold\n"
                           "[RMDIR]\nName = gone\nWithsubdir = YES\n";

const Snapshot installed = {{"a/", ""},
                            {"a/b/", ""},
                            {"a/b/one.txt", "line\r\n\r\n"},
                            {"a/b/two.bin", "xyz"},
                            {"gone/", ""}};

const std::string one = "{D}\\a\\b\\one.txt";
const std::string two = "{D}\\a\\b\\two.bin";
const std::string old = "{D}\\gone\\old.txt";

struct Sweep {
    std::string name;
    platform::FaultPoint point;
    platform::Error error;
    std::set<std::string> messages;
    // Temporary files, relative to the destination, that stay when deleting
    // them is refused: the run cannot remove them and does not report it.
    std::set<std::string> leftBehind;
};

void PrintTo(const Sweep& c, std::ostream* out) { *out << c.name; }

// The message with the run's package written as {P} and its destination as {D}.
std::string Generalised(std::string text, const Installation& run) {
    for (const auto& [from, to] : {std::pair{run.packagePath, "{P}"}, std::pair{run.destination, "{D}"}}) {
        for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
    }
    return text;
}

class FaultSweep : public testing::TestWithParam<Sweep> {
protected:
    void TearDown() override { platform::ClearFaults(); }
};

TEST_P(FaultSweep, EveryFailureIsReported) {
    const Sweep& sweep = GetParam();
    std::set<std::string> seen, left;
    // Each call of the run at this point fails once, until a run makes no
    // call that the fault could reach.
    for (int n = 1, fired = 1; fired; ++n) {
        SCOPED_TRACE("failing call " + std::to_string(n));
        Installation run;
        ASSERT_TRUE(WritePackage(run.packagePath, script));
        platform::InjectFault(sweep.point, n, sweep.error);
        const bool ok = run.package.Install(run.packagePath, run.destination, false);
        fired = platform::FaultFired(sweep.point);
        platform::ClearFaults();
        for (const std::string& name : sweep.leftBehind) {
            const std::string path = run.destination + "/" + name;
            if (IsFile(path) && std::remove(path.c_str()) == 0) left.insert(name);
        }
        std::string message;
        if (ok) {
            EXPECT_EQ(run.Installed(), installed);
        } else {
            message = Generalised(run.package.errorText, run);
            EXPECT_EQ(sweep.messages.count(message), 1u) << message;
            seen.insert(message);
        }
        // A conversion that failed left its target whole and unconverted.
        if (message == "Cannot set text file " + one) {
            EXPECT_EQ(ReadFile(run.destination + "/a/b/one.txt"), "line\n\n");
        }
        EXPECT_FALSE(HasTemporaryFile(run.dir.Path()));
    }
    // Every failure the script can meet at this point was met.
    EXPECT_EQ(seen, sweep.messages);
    EXPECT_EQ(left, sweep.leftBehind);
}

INSTANTIATE_TEST_SUITE_P(
    Install, FaultSweep,
    testing::ValuesIn(std::vector<Sweep>{
        {"DiskFull", platform::FaultPoint::Write, platform::Error::DiskFull,
         {"Cannot decompress package file", "Cannot create file " + one,
          "Cannot create file " + two, "Cannot set text file " + one, "Cannot create file " + old},
         {}},
        {"OpenRefused", platform::FaultPoint::Open, platform::Error::AccessDenied,
         {"Cannot decompress package file", "Cannot create file " + one, "Cannot create file " + two,
          "Cannot set text file " + one, "Cannot create file " + old},
         {}},
        {"CloseFails", platform::FaultPoint::Close, platform::Error::DiskFull,
         {"Cannot create file " + one,
          "Cannot create file " + two, "Cannot set text file " + one, "Cannot create file " + old},
         {}},
        {"CreateDirectoryRefused", platform::FaultPoint::CreateDir,
         platform::Error::AccessDenied,
         {"cannot create target directory: {D}", "cannot create directory: {D}\\a",
          "cannot create directory: {D}\\a\\b", "cannot create directory: {D}\\gone"},
         {}},
        {"DeleteRefused", platform::FaultPoint::Delete, platform::Error::AccessDenied,
         // A temporary file is made new: a name that cannot be cleared first
         // fails that step.
         {"Cannot decompress package file", "Cannot set text file " + one,
          "cannot remove directory: {D}\\gone"},
         {"core.pkg.kd_temp"}},
        // A script that cannot be read to its end never ends as a success.
        {"ReadFails", platform::FaultPoint::Read, platform::Error::Other,
         {"Cannot decompress package file", "Bad package file {P}", "Cannot create file " + one,
          "Cannot create file " + two, "Cannot set text file " + one, "Cannot create file " + old},
         {}},
        {"FlushFails", platform::FaultPoint::Flush, platform::Error::DiskFull,
         {"Cannot decompress package file"},
         {}},
        // What a name is, or who owns it, cannot be told: it counts as
        // another user's link, and the command that met it fails.
        {"LookupFails", platform::FaultPoint::Lookup, platform::Error::AccessDenied,
         {"cannot use target directory: {D}", "cannot create directory: {D}", "cannot create directory: {D}\\a",
          "cannot create directory: {D}\\a\\b", "Cannot create file " + one,
          "Cannot create file " + two, "Cannot set text file " + one,
          "cannot create directory: {D}\\gone", "Cannot create file " + old,
          "cannot remove directory: {D}\\gone"},
         {}},
    }),
    [](const testing::TestParamInfo<Sweep>& info) { return info.param.name; });

}  // namespace
}  // namespace kd::test
