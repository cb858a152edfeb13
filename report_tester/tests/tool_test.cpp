#include "report_tester/tool.h"

#include <gtest/gtest.h>

#include <vector>

namespace report_tester {
namespace {

TEST(SonderTool, SequenceCounterModelChoiceAndLengths) {
    EXPECT_EQ(next_sequence(1), 2);
    EXPECT_EQ(next_sequence(254), 255);
    EXPECT_EQ(next_sequence(255), 1);
    EXPECT_EQ(sequence_text(next_sequence(255)), "01");
    EXPECT_EQ(sequence_text(0xAB), "AB");

    EXPECT_EQ(product_id_for_model_choice(0), 0x0002);   // "ReedKeyBoard"
    EXPECT_EQ(product_id_for_model_choice(1), 0x0003);   // "LarchKeyBoard"
    EXPECT_EQ(product_id_for_model_choice(-1), 0x0003);  // nothing chosen yet

    EXPECT_EQ(write_length(38, 7), 38u);
    EXPECT_EQ(write_length(0, 7), 7u);
    EXPECT_EQ(write_wait_steps(38), 4u);
    EXPECT_EQ(write_wait_steps(0), 1u);
    EXPECT_EQ(report_lengths_text(38, 38), "InputReport=38 OutputReport=38\r\n");
    EXPECT_EQ(read_length(0), 5000u);
    EXPECT_EQ(read_length(38), 38u);
    EXPECT_EQ(read_buffer_size(65535), 65535u);
    EXPECT_EQ(send_buffer_size_for(38), 1024u);
    EXPECT_EQ(send_buffer_size_for(4096), 4096u);
}

TEST(SonderTool, WriteDataShowsEveryByteOfTheOutputReport) {
    const std::vector<std::uint8_t> sent = {0x00, 0x02, 0x06, 0x00, 0x01, 0x0D, 0xEA};
    std::string text = write_data_text(sent, 38);
    EXPECT_EQ(text.rfind("00,02,06,00,01,0D,EA,00,", 0), 0u);
    EXPECT_EQ(text.size(), 38u * 3 - 1);
    EXPECT_EQ(write_data_text(sent, 0), "00");
    EXPECT_EQ(write_data_text(sent, 1), "00");
    EXPECT_EQ(write_data_text(sent, 2), "00,02");
}

TEST(SonderTool, ContinuityFramesCarryTheirStepSequenceAndChecksum) {
    using Frame = std::array<std::uint8_t, continuity_frame_size>;
    EXPECT_EQ(continuity_frame(0, 1),
              (Frame{0x00, 0x02, 0x08, 0x04, 0x01, 0x06, 0x01, 0x00, 0xEA}));
    EXPECT_EQ(continuity_frame(2, 0xFF),
              (Frame{0x00, 0x02, 0x08, 0x04, 0xFF, 0x06, 0x01, 0x02, 0xEA}));
}

TEST(SonderTool, PathListKeepsTenPathsThatFit) {
    DevicePathList list;
    EXPECT_EQ(list.first(), "");
    EXPECT_FALSE(list.add(std::string(800, 'p')));
    for (int i = 0; i < 12; ++i) {
        list.add("\\\\?\\hid#" + std::to_string(i));
    }
    EXPECT_EQ(list.paths().size(), 10u);
    EXPECT_EQ(list.first(), "\\\\?\\hid#0");
    EXPECT_EQ(list.skipped(), 3);
    EXPECT_TRUE(list.add(std::string(799, 'p')) == false);  // full
    list.clear();
    EXPECT_TRUE(list.add(std::string(799, 'p')));
    EXPECT_EQ(list.skipped(), 0);
}

}  // namespace
}  // namespace report_tester
