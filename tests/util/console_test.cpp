// Answers typed at a console that gives UTF-16, and the percentage a console
// draws on a terminal, on the fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

// Typed units, served a few at a time, become answers in the code page:
// 1252 in the Windows build (Wine's), UTF-8 in the stand-in.
TEST(TypedAnswers, ConvertedLikeAUtf8FileAndLimitedInConvertedBytes) {
    using Read = std::pair<util::LineRead, std::string>;
    const auto ok = [](std::string text) { return Read{util::LineRead::Ok, std::move(text)}; };
    const Read end{util::LineRead::End, ""}, tooLong{util::LineRead::TooLong, ""},
        notHeld{util::LineRead::NotInCodePage, ""};
    const bool windows = test::IsWindowsBuild();
    const std::u16string longest(util::LongestAnswer, u'x');
    const struct {
        std::u16string typed;
        std::vector<Read> reads;
    } cases[] = {
        {u"E:\\k\r\ny\r\n\r\n", {ok("E:\\k"), ok("y"), ok(""), end}},
        {u"caf\u00E9\r\n", {ok(windows ? "caf\xE9" : "caf\xC3\xA9"), end}},
        {u"\u65E5\r\nq\r\n", {windows ? notHeld : ok("\xE6\x97\xA5"), ok("q"), end}},
        {u"\xD800x\r\n", {notHeld, end}},
        {longest + u"\r\n" + longest + u"x\r\ny\r\n", {ok(std::string(util::LongestAnswer, 'x')), tooLong, ok("y")}},
        {std::u16string(3000, u'q') + u"\r\nq\r\n", {tooLong, ok("q")}},
        // One byte in 1252, two in UTF-8.
        {longest.substr(1) + u"\u00E9\r\n", {windows ? ok(std::string(util::LongestAnswer - 1, 'x') + "\xE9") : tooLong}},
        // Ctrl-Z ends the input; what stands before it on its line is the last answer.
        {u"\x1A\r\nq\r\n", {end, end}},
        {u"ab\x1A\r\nq\r\n", {ok("ab"), end}},
        {u"", {end}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        test::ScriptedConsole console;
        std::size_t at = 0;
        console.Get().typed.read = [&](char16_t* units, std::size_t size) {
            const std::size_t count = std::min<std::size_t>({size, 7, c.typed.size() - at});
            c.typed.copy(units, count, at);
            at += count;
            return count;
        };
        for (const Read& expected : c.reads) {
            std::string line = "before";
            EXPECT_EQ(util::ReadConsoleLine(console.Get(), line), expected.first);
            EXPECT_EQ(line, expected.second);
        }
    }
}

}  // namespace
}  // namespace kd
