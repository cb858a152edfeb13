#include "report_tester/test_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace report_tester {
namespace {

std::vector<std::uint8_t> report(std::vector<std::uint8_t> head, std::size_t length = 38) {
    head.resize(length, 0);
    return head;
}

TEST(TestFrame, KeyAndTouchCoordinatesAndTheHeaderBoxes) {
    ReportDecoder decoder;
    DecodedReport key =
        decoder.decode(report({0x00, 0x01, 0x08, 0x01, 0x2A, 0x00, 0x12, 0x34, 0x9C}));
    EXPECT_EQ(key.key_coordinate, "12 34");
    EXPECT_FALSE(key.touch_coordinate);
    EXPECT_FALSE(key.track);
    EXPECT_EQ(key.id, "01");
    EXPECT_EQ(key.size, "08");
    EXPECT_EQ(key.device_no, "01");
    EXPECT_EQ(key.seq_no, "2A");
    EXPECT_EQ(key.data_field, " 00 12 34");
    EXPECT_EQ(key.checksum, "9C");

    DecodedReport touch = decoder.decode(
        report({0x00, 0x01, 0x0B, 0x06, 0x01, 0x00, 0x00, 0x10, 0x03, 0x05, 0x00, 0xD7}));
    EXPECT_EQ(touch.touch_coordinate, "X=398,Y=5");
    EXPECT_FALSE(touch.key_coordinate);
    EXPECT_EQ(touch.checksum, "D7");

    struct Axis {
        std::uint8_t low, high;
        int value;
    };
    for (Axis a : {Axis{0x10, 0x03, 398}, Axis{0x05, 0x00, 5}, Axis{0xFF, 0xFF, -32643},
                   Axis{0x00, 0x02, 256}, Axis{0x00, 0x01, 126}}) {
        EXPECT_EQ(touch_axis(a.low, a.high), a.value) << int(a.low) << "," << int(a.high);
    }

    // Other devices: the header only; Size 0 and 5 leave "DataField" empty.
    DecodedReport other = decoder.decode(report({0x00, 0x07, 0x05, 0x04, 0x01}));
    EXPECT_FALSE(other.key_coordinate || other.touch_coordinate || other.track);
    EXPECT_EQ(other.data_field, "");
}

TEST(TestFrame, TrackReadsCompareWithTheLastReadOfTheSameTrackUpToTheChecksum) {
    ReportDecoder decoder;
    // The first read compares with zeros: an all-zero track 2 frame of Size 0 "matches".
    std::vector<std::uint8_t> card =
        report({0x00, 0x01, 0x09, 0x03, 0x01, 0x00, 0x02, 0x3B, 0x31, 0x00});
    DecodedReport first = decoder.decode(card);
    ASSERT_TRUE(first.track);
    EXPECT_EQ(first.track->track, 2);
    EXPECT_FALSE(first.track->match);
    EXPECT_EQ(first.track->data_text, " 00 01 09 03 01 00 02 3B 31");

    card[9] = 0x77;  // the checksum and what lies behind it take no part
    card[20] = 0x55;
    EXPECT_TRUE(decoder.decode(card).track->match);
    card[4] = 0x02;  // the keyboard's SeqNo changed
    EXPECT_FALSE(decoder.decode(card).track->match);
    EXPECT_TRUE(decoder.decode(card).track->match);

    // Another track has its own memory; numbers 0 and 5 touch none but fill the header.
    std::vector<std::uint8_t> track1 = card;
    track1[6] = 1;
    EXPECT_FALSE(decoder.decode(track1).track->match);
    for (std::uint8_t t : {0, 5}) {
        std::vector<std::uint8_t> none = card;
        none[6] = t;
        DecodedReport d = decoder.decode(none);
        EXPECT_FALSE(d.track);
        EXPECT_EQ(d.device_no, "03");
    }
    EXPECT_TRUE(decoder.decode(card).track->match);
    EXPECT_STREQ(track_label(2), "ISOtr2/JIS1");
    EXPECT_STREQ(track_label(4), "JIS2");
    EXPECT_STREQ(match_text(false), "Not Match");

    // A first read of all zeros up to Size matches the zeroed memory.
    ReportDecoder fresh;
    std::vector<std::uint8_t> zeros = report({0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03});
    EXPECT_TRUE(fresh.decode(zeros).track->match);
}

TEST(TestFrame, ABatchOfReportsLeavesTheNewestValueOfEveryBox) {
    ReportDecoder decoder;
    WindowView view;
    for (std::vector<std::uint8_t> r : {report({0x00, 0x01, 0x08, 0x01, 0x01, 0x00, 0x11, 0x11}),
                                        report({0x00, 0x01, 0x09, 0x03, 0x02, 0x00, 0x01, 0x3B}),
                                        report({0x00, 0x01, 0x09, 0x03, 0x03, 0x00, 0x04, 0x3B}),
                                        report({0x00, 0x01, 0x08, 0x01, 0x04, 0x00, 0x22, 0x22}),
                                        report({0x00, 0x07, 0x05, 0x09, 0x05})}) {
        merge_into(view, decoder.decode(r));
    }
    EXPECT_EQ(view.key_coordinate, "22 22");
    EXPECT_FALSE(view.touch_coordinate);
    ASSERT_TRUE(view.tracks[0] && view.tracks[3]);
    EXPECT_FALSE(view.tracks[1] || view.tracks[2]);
    EXPECT_EQ(view.tracks[3]->data_text, " 00 01 09 03 03 00 04 3B 00");
    ASSERT_TRUE(view.last);
    EXPECT_EQ(view.last->device_no, "09");
}

TEST(TestFrame, ASizePastTheReportReadsZerosInsteadOfOverrunning) {
    ReportDecoder decoder;
    const std::vector<std::uint8_t> shortest = {0x00, 0x01, 0xFF, 0x03, 0x01, 0x00, 0x04};
    DecodedReport d = decoder.decode(shortest);
    ASSERT_TRUE(d.track);
    EXPECT_EQ(d.track->data_text.size(), 255u * 3);
    EXPECT_EQ(d.data_field.size(), 250u * 3);
    EXPECT_EQ(d.checksum, "00");
    EXPECT_TRUE(decoder.decode(shortest).track->match);
    EXPECT_EQ(decoder.decode({}).id, "00");
}

}  // namespace
}  // namespace report_tester
