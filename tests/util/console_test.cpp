// The percentage a console draws on a terminal, on the fake clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "support/fake_clock.h"
#include "support/scripted_console.h"
#include "util/console.h"

namespace kd {
namespace {

TEST(ConsolePercent, DrawnOnATerminalAtMostTenTimesASecondAndErasedByPrint) {
    const std::string back(5, '\b'), erase = back + "     " + back;
    for (const bool terminal : {true, false}) {
        test::ScriptedConsole console;
        console.Get().terminal = terminal;
        test::FakeClock clock;
        std::FILE* stream = console.Get().input;  // any stream with a position
        util::Print(console.Get(), "\nWorking");
        // Offsets of 200 bytes, each after a pause of the fake clock.
        for (const auto& [position, pause] : {std::pair{0, 0}, {50, 50}, {100, 50}, {100, 100}}) {
            platform::SleepMs(static_cast<unsigned>(pause));
            ASSERT_EQ(std::fseek(stream, position, SEEK_SET), 0);
            util::ShowPercent(console.Get(), stream, 200);
        }
        util::Print(console.Get(), "\nDone");
        // 25% comes too soon after 0%; 50% is not drawn twice.
        EXPECT_EQ(console.Output(), terminal ? "\nWorking   0%" + back + "  50%" + erase + "\nDone"
                                             : "\nWorking\nDone");
    }
}

}  // namespace
}  // namespace kd
