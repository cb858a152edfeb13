#include "report_tester/send_syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace report_tester {
namespace {

std::vector<int> convert(const std::string& text, int sequence, bool& ok) {
    SendBuffer bytes;
    bytes.fill(0x55);
    std::size_t count = 99;
    ok = convert_send_text(text, static_cast<std::uint8_t>(sequence), bytes, count);
    for (std::size_t i = count; i < bytes.size(); ++i) {
        EXPECT_EQ(bytes[i], 0) << "behind the produced bytes of \"" << text << "\"";
    }
    return std::vector<int>(bytes.begin(), bytes.begin() + static_cast<long>(count));
}

TEST(SendSyntax, ConvertsTokensSequenceNumbersAndChecksums) {
    struct Case {
        const char* text;
        int sequence;
        std::vector<int> bytes;
    };
    const Case cases[] = {
        {"00,02,06,00,01,0D,CS", 1, {0x00, 0x02, 0x06, 0x00, 0x01, 0x0D, 0xEA}},
        {"00,02,08,04,SN,06,01,00,CS", 1, {0x00, 0x02, 0x08, 0x04, 0x01, 0x06, 0x01, 0x00, 0xEA}},
        {"00,02,08,04,sn,06,01,00,cs",
         0x1FE,
         {0x00, 0x02, 0x08, 0x04, 0xFE, 0x06, 0x01, 0x00, 0xED}},
        {"000206", 1, {0x00, 0x02, 0x06}},
        {"00,02,", 1, {0x00, 0x02}},
        {"00,1", 1, {0x00, 0x01}},
        {"ff,aB", 1, {0xFF, 0xAB}},
        {"", 1, {}},
        {"Sn,sN,cS,Cs,N5,5S", 7, {0x00, 0x00, 0x0C, 0x0C, 0x00, 0x05}},
        {"CS", 1, {0x00}},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(convert(c.text, c.sequence, ok), c.bytes) << c.text;
        EXPECT_TRUE(ok) << c.text;
    }
}

TEST(SendSyntax, RefusesEveryMalformedTextWhole) {
    for (const char* text : {"0,1", "00 02", "00,,02", ",00", "00,0G", "0x01", "00,02,X1", "00\t02",
                             "00,1,", "00;02"}) {
        bool ok = true;
        EXPECT_TRUE(convert(text, 1, ok).empty()) << text;
        EXPECT_FALSE(ok) << text;
    }
}

TEST(SendSyntax, NoTextProducesMoreThanTheBufferHolds) {
    bool ok = false;
    EXPECT_EQ(convert(std::string(2 * max_send_text, '0'), 1, ok).size(), max_send_text);
    EXPECT_TRUE(ok);
    EXPECT_EQ(convert(std::string(2 * send_buffer_size, 'A'), 1, ok).size(), send_buffer_size);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(convert(std::string(2 * send_buffer_size + 1, 'A'), 1, ok).empty());
    EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace report_tester
