// PackageDecoder: known containers byte for byte, result codes, the output
// limit, truncation, and agreement with the plain reference decoder.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "package/package_file.h"
#include "platform/platform.h"
#include "reference_decoder.h"
#include "support/param_name.h"
#include "support/temp_dir.h"
#include "util/files.h"

namespace kd::codec {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
}

// "abc" four times: three literals and a self-overlapping match of 9.
const std::string AbcFourTimes = Bytes({0x0C, 0, 0, 0, 0x51, 0x52, 0x53, 0x52, 0x01, 0x00});

struct Case {
    const char* name;
    std::string container;
    std::uint32_t limit;
    int result;
    std::string text;
};

std::vector<Case> Cases() {
    return {
        {"three literals", Bytes({3, 0, 0, 0, 0x51, 0x52, 0x53}), 0, DecodeOk, "abc"},
        {"overlapping match", AbcFourTimes, 0, DecodeOk, "abcabcabcabc"},
        {"match into the space pre-fill", Bytes({3, 0, 0, 0, 0xF0, 0x29, 0x00}), 0, DecodeOk, "   "},
        {"position 0 repeats the last byte", Bytes({0x0B, 0, 0, 0, 0x68, 0x68, 0, 0}), 0, DecodeOk,
         "xxxxxxxxxxx"},
        {"bytes after the last symbol are ignored", AbcFourTimes + std::string(100, '\xFF'), 0,
         DecodeOk, "abcabcabcabc"},
        {"a match completes past the limit", AbcFourTimes, 5, DecodeOk, "abcabcabcabc"},
        {"limit stops after the symbol reaching it", AbcFourTimes, 2, DecodeOk, "ab"},
        {"limit above the length changes nothing", AbcFourTimes, 1000, DecodeOk, "abcabcabcabc"},
        {"no header", Bytes({1, 0, 0}), 0, DecodeNoHeader, ""},
        {"empty file", "", 0, DecodeNoHeader, ""},
        {"zero length", Bytes({0, 0, 0, 0, 0x51}), 0, DecodeZeroLength, ""},
        {"header without stream", Bytes({5, 0, 0, 0}), 0, DecodeTruncated, ""},
        // The match needs bits of the two missing bytes; the literals before
        // it stay written.
        {"last two bytes cut off", AbcFourTimes.substr(0, 8), 0, DecodeTruncated, "abc"},
        {"one literal short", Bytes({4, 0, 0, 0, 0x51, 0x52, 0x53}), 0, DecodeTruncated, "abc"},
    };
}

class DecoderCases : public testing::TestWithParam<Case> {};

TEST_P(DecoderCases, FromMemory) {
    const Case& c = GetParam();
    PackageDecoder decoder;
    util::StringSink sink;
    EXPECT_EQ(decoder.Decode(c.container, sink, c.limit), c.result);
    EXPECT_EQ(sink.text, c.text);
}

// Through the streams the installer decodes between.
int DecodeFile(const std::string& package, const std::string& script, std::uint32_t limit) {
    platform::Stream input = util::OpenFileShared(package.c_str(), "rb");
    platform::Stream output = util::OpenFileShared(script.c_str(), "wb");
    return input && output ? package::DecompressPackageStream(input.get(), output.get(), limit) : -1;
}

TEST_P(DecoderCases, FromStreamToStream) {
    const Case& c = GetParam();
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFile(dir / "in.pkg", c.container));
    EXPECT_EQ(DecodeFile(dir / "in.pkg", dir / "out", c.limit), c.result);
    EXPECT_EQ(test::ReadFile(dir / "out"), c.text);
}

INSTANTIATE_TEST_SUITE_P(Containers, DecoderCases, testing::ValuesIn(Cases()),
                         test::ParamName());

TEST(DecoderFiles, FailedWriteGives145AndKeepsEarlierBlocks) {
    test::TempDir dir;
    std::string text(200000, '\0');
    std::mt19937 random(7);
    for (char& c : text) c = static_cast<char>('a' + random() % 3);
    std::string container;
    ASSERT_TRUE(PackageEncoder().Encode(text, container));
    ASSERT_TRUE(test::WriteFile(dir / "in.pkg", container));

    platform::InjectFault(platform::FaultPoint::Write, 2, platform::Error::DiskFull);
    const int result = DecodeFile(dir / "in.pkg", dir / "out", 0);
    platform::ClearFaults();
    EXPECT_EQ(result, DecodeWriteFailed);
    const std::string written = test::ReadFile(dir / "out");
    EXPECT_GT(written.size(), 0u);
    EXPECT_LT(written.size(), text.size());
    EXPECT_EQ(written, text.substr(0, written.size()));
}

TEST(Decoder, OneObjectServesManyCalls) {
    PackageDecoder decoder;
    for (int round = 0; round < 2; ++round) {
        util::StringSink first, second;
        EXPECT_EQ(decoder.Decode(AbcFourTimes, first, 0), DecodeOk);
        EXPECT_EQ(first.text, "abcabcabcabc");
        EXPECT_EQ(decoder.Decode(Bytes({3, 0, 0, 0, 0xF0, 0x29, 0x00}), second, 0), DecodeOk);
        EXPECT_EQ(second.text, "   ");
    }
}

// What the plain reference decoder makes of a container (missing bytes read
// as zero bits).
int ReferenceDecode(const std::string& container, std::string& text, std::uint32_t limit) {
    std::size_t next = 0;
    auto source = [&]() -> int {
        return next < container.size() ? static_cast<unsigned char>(container[next++]) : -1;
    };
    auto sink = [&](unsigned char byte) {
        text.push_back(static_cast<char>(byte));
        return true;
    };
    return reference::Decode(source, sink, limit);
}

// Random bit streams drive the tree through every kind of update and rebuild.
// A complete stream decodes exactly as the reference does; a truncated one
// stops early with a prefix of the reference's output.
TEST(DecoderAgreement, RandomStreamsMatchTheReference) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        const std::uint32_t length = 1 + random() % (round < 250 ? 3000 : 200000);
        const std::size_t streamBytes = random() % (round % 2 ? length / 2 + 8 : length * 2 + 8);
        std::string container = Bytes({static_cast<int>(length & 0xFF), static_cast<int>((length >> 8) & 0xFF),
                                       static_cast<int>(length >> 16), 0});
        for (std::size_t i = 0; i < streamBytes; ++i) container.push_back(static_cast<char>(random()));
        const std::uint32_t limit = round % 7 == 0 ? random() % (length + 1) : 0;

        std::string expected;
        ASSERT_EQ(ReferenceDecode(container, expected, limit), 0);
        PackageDecoder decoder;
        util::StringSink sink;
        const int result = decoder.Decode(container, sink, limit);
        if (result == DecodeOk) {
            ASSERT_EQ(sink.text, expected) << "round " << round;
        } else {
            ASSERT_EQ(result, DecodeTruncated) << "round " << round;
            ASSERT_LT(sink.text.size(), expected.size());
            ASSERT_EQ(sink.text, expected.substr(0, sink.text.size())) << "round " << round;
        }
        EXPECT_EQ(decoder.OutputCount(), sink.text.size());
    }
}

// Byte frequencies halving from one value to the next make codes of up to
// about 14 bits, so counting along long paths, swaps deep in the tree and
// rebuilds of a lopsided tree are all met; the result must be the reference's.
TEST(DecoderAgreement, LopsidedTreesMatchTheReference) {
    std::mt19937 random(777);
    std::string text;
    while (text.size() < 300000) {
        int symbol = 0;
        while (symbol < 255 && random() % 2 != 0) ++symbol;
        text.push_back(static_cast<char>(symbol * 7));
    }
    std::string container;
    ASSERT_TRUE(PackageEncoder().Encode(text, container));
    std::string expected;
    ASSERT_EQ(ReferenceDecode(container, expected, 0), 0);
    ASSERT_EQ(expected, text);
    PackageDecoder decoder;
    util::StringSink sink;
    ASSERT_EQ(decoder.Decode(container, sink, 0), DecodeOk);
    EXPECT_EQ(sink.text, text);
}

// Cutting a sound container anywhere inside its stream is always noticed,
// and the full container is not mistaken for a cut one.
TEST(DecoderAgreement, EveryCutOfASoundStreamIsTruncated) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i * 37 % 101) + "\n";
    std::string container;
    ASSERT_TRUE(PackageEncoder().Encode(text, container));
    PackageDecoder decoder;
    for (std::size_t size = 4; size < container.size(); ++size) {
        util::StringSink sink;
        ASSERT_EQ(decoder.Decode(std::string_view(container).substr(0, size), sink, 0),
                  DecodeTruncated)
            << "cut to " << size << " of " << container.size();
    }
    util::StringSink sink;
    EXPECT_EQ(decoder.Decode(container, sink, 0), DecodeOk);
    EXPECT_EQ(sink.text, text);
}

}  // namespace
}  // namespace kd::codec
