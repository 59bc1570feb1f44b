// PackageEncoder: round trips through the decoder and the reference decoder,
// the length limits and the streaming interface.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/encoder.h"
#include "reference_decoder.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

namespace kd::codec {
namespace {

std::string Random(std::size_t size, unsigned seed, int alphabet = 256) {
    std::mt19937 random(seed);
    std::string text(size, '\0');
    for (char& c : text) c = static_cast<char>(random() % alphabet);
    return text;
}

// Text with repeats at every distance the window allows, and beyond it.
std::string Repetitive(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        if (text.size() > 20 && random() % 3 != 0) {
            const std::size_t back = 1 + random() % std::min<std::size_t>(text.size(), 6000);
            const std::size_t length = 1 + random() % 14;
            for (std::size_t i = 0; i < length; ++i) text.push_back(text[text.size() - back]);
        } else {
            text.push_back(static_cast<char>("etaoin shrdlu\n"[random() % 14]));
        }
    }
    text.resize(size);
    return text;
}

std::string ReferenceDecode(const std::string& container) {
    std::size_t next = 0;
    std::string text;
    auto source = [&]() -> int {
        return next < container.size() ? static_cast<unsigned char>(container[next++]) : -1;
    };
    auto sink = [&](unsigned char byte) {
        text.push_back(static_cast<char>(byte));
        return true;
    };
    EXPECT_EQ(reference::Decode(source, sink, 0), 0);
    return text;
}

struct RoundTrip {
    const char* name;
    std::string text;
};

std::vector<RoundTrip> RoundTrips() {
    std::string allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
    std::string allBytesTwice = allBytes + allBytes;
    return {
        {"one byte", "x"},
        {"one zero byte", std::string(1, '\0')},
        {"one space", " "},
        {"all byte values", allBytes},
        {"all byte values twice", allBytesTwice},
        {"long run", std::string(300000, 'a')},
        {"run of spaces", std::string(10000, ' ')},
        {"run of 0xFF", std::string(5000, '\xFF')},
        {"random bytes", Random(100000, 1)},
        {"random over four letters", Random(150000, 2, 4)},
        // Far more symbols than one rebuild needs.
        {"several rebuilds", Random(400000, 3, 40)},
        {"repeats near and far", Repetitive(300000, 4)},
        {"text starting with spaces", "        hello"},
    };
}

class EncoderRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(EncoderRoundTrip, DecodesBackExactly) {
    const std::string& text = GetParam().text;
    std::string container;
    ASSERT_TRUE(PackageEncoder().Encode(text, container));
    ASSERT_GE(container.size(), 5u);
    EXPECT_EQ(static_cast<unsigned char>(container[0]) | static_cast<unsigned char>(container[1]) << 8 |
                  static_cast<unsigned char>(container[2]) << 16,
              static_cast<unsigned>(text.size()));

    PackageDecoder decoder;
    util::StringSink sink;
    EXPECT_EQ(decoder.Decode(container, sink, 0), DecodeOk);
    EXPECT_TRUE(sink.text == text) << "decoded " << sink.text.size() << " of " << text.size();
    EXPECT_TRUE(ReferenceDecode(container) == text) << "the reference decoder disagrees";
}

INSTANTIATE_TEST_SUITE_P(Texts, EncoderRoundTrip, testing::ValuesIn(RoundTrips()),
                         test::ParamName());

TEST(Encoder, FirstMatchUsesTheSpacePrefill) {
    std::string container;
    const std::string text(10, ' ');
    ASSERT_TRUE(PackageEncoder().Encode(text, container));
    // One match symbol and its position fit in 3 bytes; ten literals cannot.
    EXPECT_LE(container.size(), 7u);
    util::StringSink sink;
    EXPECT_EQ(PackageDecoder().Decode(container, sink, 0), DecodeOk);
    EXPECT_EQ(sink.text, text);
}

TEST(Encoder, CompressesRepeatsWell) {
    const std::string text = Repetitive(200000, 9);
    std::string container;
    ASSERT_TRUE(PackageEncoder().Encode(text, container));
    EXPECT_LT(container.size(), text.size() / 2);
    // A run costs one length symbol and a 9-bit position per 10 bytes.
    ASSERT_TRUE(PackageEncoder().Encode(std::string(100000, 'z'), container));
    EXPECT_LT(container.size(), 100000u / 7);
}

TEST(Encoder, RefusesEmptyAndOverlongTexts) {
    PackageEncoder encoder;
    std::string container = "unchanged";
    EXPECT_FALSE(encoder.Encode("", container));
    EXPECT_EQ(container, "unchanged");
    EXPECT_FALSE(encoder.Begin(0));
    EXPECT_FALSE(encoder.Begin(MaxTextLength + 1));
    encoder.Output().clear();
    EXPECT_TRUE(encoder.Begin(MaxTextLength));
    EXPECT_EQ(encoder.Output(), std::string("\0\0\0\x80", 4));
}

TEST(Encoder, StreamingInPiecesGivesTheSameContainer) {
    const std::string text = Repetitive(700000, 5);
    std::string whole;
    ASSERT_TRUE(PackageEncoder().Encode(text, whole));

    PackageEncoder encoder;
    ASSERT_TRUE(encoder.Begin(text.size()));
    std::string pieces;
    std::mt19937 random(6);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t size = std::min<std::size_t>(text.size() - at, random() % 70000);
        ASSERT_TRUE(encoder.Write(text.data() + at, size));
        at += size;
        pieces += encoder.Output();
        encoder.Output().clear();
    }
    EXPECT_FALSE(encoder.Write("x", 1)) << "more than the declared length";
    ASSERT_TRUE(encoder.Finish());
    pieces += encoder.Output();
    EXPECT_TRUE(pieces == whole);
}

TEST(Encoder, FinishRefusesAShortText) {
    PackageEncoder encoder;
    ASSERT_TRUE(encoder.Begin(10));
    ASSERT_TRUE(encoder.Write("abc", 3));
    EXPECT_FALSE(encoder.Finish());
    // The object starts over cleanly.
    std::string container;
    ASSERT_TRUE(encoder.Encode("abc", container));
    EXPECT_EQ(container, std::string("\3\0\0\0\x51\x52\x53", 7));
}

TEST(Encoder, EncodesASourceOfAGivenSize) {
    const std::string text = Repetitive(250000, 8);
    PackageEncoder encoder;
    util::MemorySource source(text);
    util::StringSink packed;
    EXPECT_EQ(encoder.EncodeStream("ab", source, text.size(), packed), EncodeResult::Ok);
    util::StringSink back;
    EXPECT_EQ(PackageDecoder().Decode(packed.text, back, 0), DecodeOk);
    EXPECT_TRUE(back.text == "ab" + text);

    util::MemorySource grown(text);
    EXPECT_EQ(encoder.EncodeStream({}, grown, text.size() - 1, packed), EncodeResult::ReadFailed);
    util::MemorySource shrunk(text);
    EXPECT_EQ(encoder.EncodeStream({}, shrunk, text.size() + 1, packed), EncodeResult::ReadFailed);
    util::MemorySource empty("");
    EXPECT_EQ(encoder.EncodeStream({}, empty, 0, packed), EncodeResult::BadLength);
}

}  // namespace
}  // namespace kd::codec
