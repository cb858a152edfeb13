#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hidlink/frame.h"

namespace hidlink {
namespace {

std::vector<std::uint8_t> head(const Frame& f, std::size_t n) {
    return {f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n)};
}

bool zero_from(const Frame& f, std::size_t first) {
    for (std::size_t i = first; i < f.size(); ++i) {
        if (f[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(Frame, BuildsTheProtocolsExampleFramesByteForByte) {
    Frame end = make_end_frame(0x21);
    EXPECT_EQ(head(end, 6), (std::vector<std::uint8_t>{0x00, 0x21, 0x03, 0x00, 0xFF, 0x23}));
    EXPECT_TRUE(zero_from(end, 6));

    const std::uint8_t sparrow[] = {0x00};
    const std::uint8_t other[] = {0x01};
    EXPECT_EQ(head(make_frame(0x11, sparrow), 5),
              (std::vector<std::uint8_t>{0x00, 0x11, 0x02, 0x00, 0x13}));
    EXPECT_EQ(head(make_frame(0x11, other), 5),
              (std::vector<std::uint8_t>{0x00, 0x11, 0x02, 0x01, 0x14}));

    std::vector<std::uint8_t> all_ff(192, 0xFF);
    EXPECT_EQ(sum16(all_ff), 0xBF40);
    Frame start = make_start_frame(0x21, 0x00, sum16(all_ff));
    EXPECT_EQ(head(start, 9),
              (std::vector<std::uint8_t>{0x00, 0x21, 0x06, 0x00, 0x00, 0x00, 0xBF, 0x40, 0x26}));
    EXPECT_TRUE(zero_from(start, 9));

    const std::string date = "2011-01-01";
    std::vector<std::uint8_t> stamp{0x03};
    stamp.insert(stamp.end(), date.begin(), date.end());
    Frame date_frame = make_frame(0x08, stamp);
    EXPECT_EQ(head(date_frame, 15),
              (std::vector<std::uint8_t>{0x00, 0x08, 0x0C, 0x03, 0x32, 0x30, 0x31, 0x31, 0x2D, 0x30,
                                         0x31, 0x2D, 0x30, 0x31, 0xF7}));

    // Frames of the other tools share the same builder.
    const std::uint8_t msr_item[] = {0x01};
    EXPECT_EQ(head(make_frame(0x01, msr_item), 5),
              (std::vector<std::uint8_t>{0x00, 0x01, 0x02, 0x01, 0x04}));
    const std::uint8_t lockout[] = {0x02, 0x01};
    EXPECT_EQ(head(make_frame(0x00, lockout), 6),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x03, 0x02, 0x01, 0x06}));
    const std::uint8_t init[] = {0x00, 0xAA, 0x00, 0x05, 0x50};
    EXPECT_EQ(head(make_frame(0x20, init), 9),
              (std::vector<std::uint8_t>{0x00, 0x20, 0x06, 0x00, 0xAA, 0x00, 0x05, 0x50, 0x25}));
    std::vector<std::uint8_t> image(65536, 0xFF);
    EXPECT_EQ(head(make_start_frame(0x20, 0x00, sum16(image)), 9),
              (std::vector<std::uint8_t>{0x00, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x26}));
    EXPECT_EQ(head(make_end_frame(0x20), 6),
              (std::vector<std::uint8_t>{0x00, 0x20, 0x03, 0x00, 0xFF, 0x22}));
    const std::uint8_t buzz[] = {0x02, 0x00};
    EXPECT_EQ(head(make_frame(0x04, buzz), 6),
              (std::vector<std::uint8_t>{0x00, 0x04, 0x03, 0x02, 0x00, 0x09}));
}

TEST(Frame, DataFrameCarries32BytesAndItsChecksumInTheLastByte) {
    std::vector<std::uint8_t> data(32);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    Frame f = make_data_frame(0x21, data);
    EXPECT_EQ(head(f, 5), (std::vector<std::uint8_t>{0x00, 0x21, 0x23, 0x00, 0x01}));
    EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 5, f.begin() + 37), data);
    unsigned sum = 0x21 + 0x23 + 0x01;
    for (std::uint8_t b : data) {
        sum += b;
    }
    EXPECT_EQ(f[37], static_cast<std::uint8_t>(sum));
    EXPECT_TRUE(is_data_frame(f));
}

TEST(Frame, AcceptReplyNeedsAnAckChecksumAndRefusesNegativeReplies) {
    Frame ack = make_frame(0x21, {});
    EXPECT_TRUE(accept_reply(ack));

    Frame wrong = ack;
    wrong[3] ^= 0x01;  // command byte is fine, byte 3 is not command + length
    EXPECT_FALSE(accept_reply(wrong));

    Frame negative{};
    negative[1] = 0x81;
    negative[2] = 0x01;
    negative[3] = 0x82;  // even a self-consistent negative reply is refused
    EXPECT_FALSE(accept_reply(negative));
}

TEST(Frame, ChecksOfReceivedTransferFramesRejectEachDefect) {
    std::vector<std::uint8_t> data(32, 0x5A);
    Frame start = make_start_frame(0x11, 0x01, 0x1234);
    Frame block = make_data_frame(0x11, data);
    Frame end = make_end_frame(0x11);
    EXPECT_TRUE(is_start_frame(start));
    EXPECT_TRUE(is_data_frame(block));
    EXPECT_TRUE(is_end_frame(end));

    Frame bad = block;
    bad[4] = 0x02;  // sub-code 00 02 is not a data frame
    bad[37] = frame_checksum(bad);
    EXPECT_FALSE(is_data_frame(bad));
    bad = block;
    bad[37] ^= 0xFF;
    EXPECT_FALSE(is_data_frame(bad));
    bad = start;
    bad[8] ^= 0x01;
    EXPECT_FALSE(is_start_frame(bad));
    bad = end;
    bad[5] = 0x00;
    EXPECT_FALSE(is_end_frame(bad));
    EXPECT_FALSE(is_end_frame(start));
    EXPECT_FALSE(is_start_frame(block));
}

TEST(Frame, MalformedLengthNeverReadsPastTheFrame) {
    Frame f{};
    f.fill(0x01);
    f[2] = 0xFF;  // sums bytes 1 … 36 at most
    EXPECT_EQ(frame_checksum(f), static_cast<std::uint8_t>(35 + 0xFF));
    EXPECT_FALSE(is_data_frame(f));

    std::vector<std::uint8_t> too_long(60, 0x01);
    Frame cut = make_frame(0x42, too_long);
    EXPECT_EQ(cut[2], 35);
    EXPECT_EQ(cut[37], frame_checksum(cut));
}

TEST(Frame, ValueFrameCheckSumsBytesOneToFour) {
    Frame v{};
    v[1] = 0x81;  // the command byte is not examined in a value frame
    v[2] = 0x03;
    v[3] = 0x01;
    v[4] = 0x04;
    v[5] = static_cast<std::uint8_t>(0x81 + 0x03 + 0x01 + 0x04);
    EXPECT_TRUE(is_value_frame(v));
    v[4] = 0x05;
    EXPECT_FALSE(is_value_frame(v));
}

}  // namespace
}  // namespace hidlink
