// The keyboards' answers byte for byte, as the tools will read them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hidlink/identity.h"
#include "simulator/frame_log.h"
#include "simulator/simulation.h"
#include "simulator/tests/test_frames.h"

namespace simulator {
namespace {

using hidlink::Frame;
using testing::frame_of;
using testing::send;

const Frame sparrow_read_request = frame_of({0x00, 0x11, 0x02, 0x00, 0x13});
const Frame reed_read_request = frame_of({0x00, 0x11, 0x02, 0x01, 0x14});

void expect_negative_reply(const std::vector<Frame>& replies, std::uint8_t command) {
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0],
              frame_of({0x00, 0x81, 0x02, command, static_cast<std::uint8_t>(0x83 + command)}));
    EXPECT_FALSE(hidlink::accept_reply(replies[0]));
}

void expect_ack(const std::vector<Frame>& replies, std::uint8_t command) {
    ASSERT_GE(replies.size(), 1u);
    EXPECT_EQ(replies[0], frame_of({0x00, command, 0x01, static_cast<std::uint8_t>(command + 1)}));
    EXPECT_TRUE(hidlink::accept_reply(replies[0]));
}

std::vector<std::uint8_t> read_keymap(Simulation& sim, int model) {
    std::vector<Frame> replies =
        send(sim, model, model == 1 ? sparrow_read_request : reed_read_request);
    std::vector<std::uint8_t> keymap;
    for (std::size_t i = 2; i + 1 < replies.size(); ++i) {
        keymap.insert(keymap.end(), replies[i].begin() + 5, replies[i].begin() + 37);
    }
    return keymap;
}

// Start, data and end frames of a key map write, each expected to be acknowledged.
void write_keymap(Simulation& sim, int model, const std::vector<std::uint8_t>& keymap) {
    expect_ack(send(sim, model,
                    hidlink::make_start_frame(0x21, model == 1 ? 0 : 1, hidlink::sum16(keymap))),
               0x21);
    for (std::size_t i = 0; i < keymap.size(); i += 32) {
        expect_ack(
            send(sim, model, hidlink::make_data_frame(0x21, std::span(keymap).subspan(i, 32))),
            0x21);
    }
    expect_ack(send(sim, model, hidlink::make_end_frame(0x21)), 0x21);
}

TEST(SimulationProtocol, KeymapReadSendsStartDataAndEndFramesOfTheModelsKeymap) {
    Simulation sim({1, 2});
    struct Case {
        int model;
        Frame request;
        std::size_t data_frames;
        std::uint8_t flag;
    };
    for (const Case& c : {Case{1, sparrow_read_request, 6, 0}, Case{2, reed_read_request, 5, 1}}) {
        SCOPED_TRACE(c.model);
        const std::vector<std::uint8_t>& keymap = sim.keyboard_state(c.model)->keymap;
        ASSERT_EQ(keymap.size(), c.data_frames * 32);
        std::vector<Frame> replies = send(sim, c.model, c.request);
        ASSERT_EQ(replies.size(), c.data_frames + 3);
        expect_ack(replies, 0x11);
        EXPECT_TRUE(hidlink::is_start_frame(replies[1]));
        EXPECT_EQ(replies[1][5], c.flag);
        EXPECT_EQ(replies[1][6] << 8 | replies[1][7], hidlink::sum16(keymap));
        for (std::size_t i = 0; i < c.data_frames; ++i) {
            EXPECT_TRUE(hidlink::is_data_frame(replies[2 + i]));
            EXPECT_TRUE(std::equal(keymap.begin() + 32 * i, keymap.begin() + 32 * (i + 1),
                                   replies[2 + i].begin() + 5));
        }
        EXPECT_EQ(replies.back(), frame_of({0x00, 0x11, 0x03, 0x00, 0xFF, 0x13}));
        EXPECT_TRUE(hidlink::is_end_frame(replies.back()));
    }
    // Recognisable initial key maps, not the 0xFF of an erased one.
    EXPECT_EQ(sim.keyboard_state(1)->keymap[0x00], 0x00);
    EXPECT_EQ(sim.keyboard_state(1)->keymap[0xBF], 0xBF);
    EXPECT_EQ(sim.keyboard_state(2)->keymap[0x00], 0x40);
}

TEST(SimulationProtocol, KeymapReadIsRefusedForAWrongFlagOrAModelWithoutKeymap) {
    Simulation sim({1, 2, 3, 4});
    expect_negative_reply(send(sim, 1, reed_read_request), 0x11);
    expect_negative_reply(send(sim, 2, sparrow_read_request), 0x11);
    expect_negative_reply(send(sim, 3, reed_read_request), 0x11);
    expect_negative_reply(send(sim, 4, reed_read_request), 0x11);
}

TEST(SimulationProtocol, KeymapWriteReplacesTheKeymapOnlyWhenTheEndFrameCompletesIt) {
    Simulation sim({1, 2});
    // All 0xFF: the start frame of the example, 00 21 06 00 00 00 BF 40 26.
    std::vector<std::uint8_t> erased(192, 0xFF);
    EXPECT_EQ(hidlink::make_start_frame(0x21, 0, hidlink::sum16(erased)),
              frame_of({0x00, 0x21, 0x06, 0x00, 0x00, 0x00, 0xBF, 0x40, 0x26}));
    write_keymap(sim, 1, erased);
    EXPECT_EQ(sim.keyboard_state(1)->keymap, erased);
    EXPECT_EQ(read_keymap(sim, 1), erased);

    std::vector<std::uint8_t> reed(160);
    for (std::size_t i = 0; i < reed.size(); ++i) {
        reed[i] = static_cast<std::uint8_t>(i * 7);
    }
    write_keymap(sim, 2, reed);
    EXPECT_EQ(read_keymap(sim, 2), reed);
    EXPECT_EQ(sim.keyboard_state(1)->keymap, erased);  // the other keyboard is untouched

    // A write that stops after its data frames leaves the key map as it was, and a new
    // start frame discards what the broken write had sent.
    std::vector<std::uint8_t> zeros(192, 0x00);
    expect_ack(send(sim, 1, hidlink::make_start_frame(0x21, 0, 0)), 0x21);
    for (int i = 0; i < 6; ++i) {
        expect_ack(send(sim, 1, hidlink::make_data_frame(0x21, std::span(zeros).first(32))), 0x21);
    }
    EXPECT_EQ(sim.keyboard_state(1)->keymap, erased);
    std::vector<std::uint8_t> ones(192, 0x01);
    write_keymap(sim, 1, ones);
    EXPECT_EQ(sim.keyboard_state(1)->keymap, ones);
}

TEST(SimulationProtocol, KeymapWriteOutOfOrderOrInconsistentIsRefused) {
    Simulation sim({1, 2});
    const std::vector<std::uint8_t> before = sim.keyboard_state(1)->keymap;
    std::vector<std::uint8_t> block(32, 0x11);

    // Data or end without a start frame.
    expect_negative_reply(send(sim, 1, hidlink::make_data_frame(0x21, block)), 0x21);
    expect_negative_reply(send(sim, 1, hidlink::make_end_frame(0x21)), 0x21);
    // Start frame with the other model's flag.
    expect_negative_reply(send(sim, 1, hidlink::make_start_frame(0x21, 1, 0)), 0x21);

    // A sum that does not match the data: the end frame is refused.
    expect_ack(send(sim, 1, hidlink::make_start_frame(0x21, 0, 0x1234)), 0x21);
    for (int i = 0; i < 6; ++i) {
        expect_ack(send(sim, 1, hidlink::make_data_frame(0x21, block)), 0x21);
    }
    expect_negative_reply(send(sim, 1, hidlink::make_end_frame(0x21)), 0x21);

    // Too few data frames, and one data frame too many.
    expect_ack(send(sim, 1, hidlink::make_start_frame(0x21, 0, 0x0220)), 0x21);
    expect_ack(send(sim, 1, hidlink::make_data_frame(0x21, block)), 0x21);
    expect_negative_reply(send(sim, 1, hidlink::make_end_frame(0x21)), 0x21);
    expect_ack(send(sim, 2, hidlink::make_start_frame(0x21, 1, 0)), 0x21);
    for (int i = 0; i < 5; ++i) {
        expect_ack(send(sim, 2, hidlink::make_data_frame(0x21, block)), 0x21);
    }
    expect_negative_reply(send(sim, 2, hidlink::make_data_frame(0x21, block)), 0x21);

    EXPECT_EQ(sim.keyboard_state(1)->keymap, before);
}

TEST(SimulationProtocol, DateStampsKeepKeymapAndFirmwareDatesApart) {
    Simulation sim({1});
    // The example frame: "2011-01-01" with item 0x03 has the checksum 0xF7.
    const std::uint8_t payload[] = {0x03, '2', '0', '1', '1', '-', '0', '1', '-', '0', '1'};
    Frame stamp = hidlink::make_frame(0x08, payload);
    EXPECT_EQ(stamp, frame_of({0x00, 0x08, 0x0C, 0x03, 0x32, 0x30, 0x31, 0x31, 0x2D, 0x30, 0x31,
                               0x2D, 0x30, 0x31, 0xF7}));
    expect_ack(send(sim, 1, stamp), 0x08);

    const std::uint8_t firmware_payload[] = {0x05, '2', '0', '2', '4', 0, 0, 0, 0, 0, 0};
    expect_ack(send(sim, 1, hidlink::make_frame(0x08, firmware_payload)), 0x08);

    const DateStamp keymap_date = sim.keyboard_state(1)->keymap_date;
    const DateStamp firmware_date = sim.keyboard_state(1)->firmware_date;
    EXPECT_EQ(std::string(keymap_date.begin(), keymap_date.end()), "2011-01-01");
    EXPECT_EQ(std::string(firmware_date.begin(), firmware_date.end()),
              std::string("2024\0\0\0\0\0\0", 10));

    const std::uint8_t other_item[] = {0x04, '2', '0', '1', '1', '-', '0', '1', '-', '0', '1'};
    expect_negative_reply(send(sim, 1, hidlink::make_frame(0x08, other_item)), 0x08);
}

TEST(SimulationProtocol, SettingsItemsFollowTheModel) {
    Simulation sim({1, 2, 3, 4});
    // Which items each model answers (1 MSR type, 2 key lockout, 3 OP key, 4 key input).
    const bool has[5][5] = {{},
                            {false, true, true, true, true},
                            {false, true, true, false, true},
                            {false, true, true, false, false},
                            {false, true, false, false, false}};
    for (int model = 1; model <= 4; ++model) {
        for (std::uint8_t item = 0; item <= 5; ++item) {
            SCOPED_TRACE("model " + std::to_string(model) + " item " + std::to_string(item));
            const std::uint8_t get[] = {item};
            std::vector<Frame> replies = send(sim, model, hidlink::make_frame(0x01, get));
            if (item >= 1 && item <= 4 && has[model][item]) {
                ASSERT_EQ(replies.size(), 2u);
                expect_ack(replies, 0x01);
                EXPECT_TRUE(hidlink::is_value_frame(replies[1]));
                EXPECT_EQ(replies[1][3], item);
            } else {
                expect_negative_reply(replies, 0x01);
            }
        }
    }

    // The examples: get MSR type is 00 01 02 01 04; the initial MSR type is ISO (4).
    std::vector<Frame> msr = send(sim, 1, frame_of({0x00, 0x01, 0x02, 0x01, 0x04}));
    ASSERT_EQ(msr.size(), 2u);
    EXPECT_EQ(msr[1], frame_of({0x00, 0x01, 0x03, 0x01, 0x04, 0x09}));

    // Writing key lockout 1 (00 00 03 02 01 06) after setting it to 0, then reading it back.
    const std::uint8_t lockout0[] = {0x02, 0x00};
    expect_ack(send(sim, 2, hidlink::make_frame(0x00, lockout0)), 0x00);
    EXPECT_EQ(sim.keyboard_state(2)->settings.at(item_key_lockout), 0);
    expect_ack(send(sim, 2, frame_of({0x00, 0x00, 0x03, 0x02, 0x01, 0x06})), 0x00);
    std::vector<Frame> lockout = send(sim, 2, frame_of({0x00, 0x01, 0x02, 0x02, 0x05}));
    ASSERT_EQ(lockout.size(), 2u);
    EXPECT_EQ(lockout[1][4], 0x01);

    // Items the model lacks, and the MSR type, cannot be written.
    const std::uint8_t op_key[] = {0x03, 0x01};
    expect_negative_reply(send(sim, 2, hidlink::make_frame(0x00, op_key)), 0x00);
    expect_ack(send(sim, 1, hidlink::make_frame(0x00, op_key)), 0x00);
    const std::uint8_t msr_type[] = {0x01, 0x03};
    expect_negative_reply(send(sim, 1, hidlink::make_frame(0x00, msr_type)), 0x00);
    EXPECT_EQ(sim.keyboard_state(1)->settings.at(item_msr_type), 4);
}

TEST(SimulationProtocol, FirmwareDownloadKeepsTheImageInBlockOrder) {
    Simulation sim({3});
    expect_ack(send(sim, 3, frame_of({0x00, 0x20, 0x06, 0x00, 0xAA, 0x00, 0x05, 0x50, 0x25})),
               0x20);
    // An all-0xFF image sums to 0x0000: start frame 00 20 06 00 00 00 00 00 26.
    expect_ack(send(sim, 3, frame_of({0x00, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x26})),
               0x20);
    std::vector<std::uint8_t> image(firmware_image_size);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i / 32 + i);
    }
    for (std::size_t block = 0; block < firmware_block_count; ++block) {
        std::vector<Frame> replies =
            send(sim, 3, hidlink::make_data_frame(0x20, std::span(image).subspan(block * 32, 32)));
        ASSERT_EQ(replies.size(), 1u);
        ASSERT_TRUE(hidlink::accept_reply(replies[0])) << block;
    }
    // The image is full: a 2049th block is refused.
    expect_negative_reply(send(sim, 3, hidlink::make_data_frame(0x20, std::span(image).first(32))),
                          0x20);
    expect_ack(send(sim, 3, frame_of({0x00, 0x20, 0x03, 0x00, 0xFF, 0x22})), 0x20);
    EXPECT_EQ(sim.keyboard_state(3)->firmware_image, image);
    EXPECT_EQ(sim.keyboard_state(3)->firmware_blocks, firmware_block_count);

    // A cancelled download ends early: its blocks, 0xFF behind them.
    expect_ack(send(sim, 3, hidlink::make_start_frame(0x20, 0, 0)), 0x20);
    expect_ack(send(sim, 3, hidlink::make_data_frame(0x20, std::span(image).first(32))), 0x20);
    expect_ack(send(sim, 3, hidlink::make_end_frame(0x20)), 0x20);
    EXPECT_EQ(sim.keyboard_state(3)->firmware_blocks, 1u);
    EXPECT_EQ(sim.keyboard_state(3)->firmware_image[31], image[31]);
    EXPECT_EQ(sim.keyboard_state(3)->firmware_image[32], 0xFF);

    // Data and end frames outside a download, and a malformed init frame, are refused.
    expect_negative_reply(send(sim, 3, hidlink::make_data_frame(0x20, std::span(image).first(32))),
                          0x20);
    expect_negative_reply(send(sim, 3, hidlink::make_end_frame(0x20)), 0x20);
    const std::uint8_t bad_init[] = {0x00, 0xAA, 0x00, 0x05, 0x51};
    expect_negative_reply(send(sim, 3, hidlink::make_frame(0x20, bad_init)), 0x20);
}

TEST(SimulationProtocol, VersionQueryAnswersAckThenVersionFrame) {
    Simulation sim({1});
    std::vector<Frame> replies = send(sim, 1, frame_of({0x00, 0x10, 0x02, 0x00, 0x12}));
    ASSERT_EQ(replies.size(), 2u);
    expect_ack(replies, 0x10);
    EXPECT_EQ(replies[1], frame_of({0x00, 0x10, 0x03, 0x01, 0x2A, 0x3E}));
    EXPECT_TRUE(hidlink::is_value_frame(replies[1]));

    std::string error;
    ASSERT_TRUE(sim.apply_command("set 1 version 10 05", error)) << error;
    replies = send(sim, 1, frame_of({0x00, 0x10, 0x02, 0x00, 0x12}));
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1][3], 0x10);
    EXPECT_EQ(replies[1][4], 0x05);
}

TEST(SimulationProtocol, ClickAndBuzzerCommandsKeepTheirState) {
    Simulation sim({1, 2});
    // BuzzOn(1, 0), then BuzzOff.
    expect_ack(send(sim, 1, frame_of({0x00, 0x04, 0x03, 0x02, 0x00, 0x09})), 0x04);
    EXPECT_EQ(sim.keyboard_state(1)->buzzer, (BuzzerState{true, 0x02, 0x00}));
    expect_ack(send(sim, 1, frame_of({0x00, 0x05, 0x02, 0x00, 0x07})), 0x05);
    EXPECT_FALSE(sim.keyboard_state(1)->buzzer.on);
    // SetKEYClick(2) on the ReedKey PAD, then DisKEYClick.
    expect_ack(send(sim, 2, frame_of({0x00, 0x02, 0x03, 0x01, 0x02, 0x08})), 0x02);
    EXPECT_EQ(sim.keyboard_state(2)->click, 2);
    EXPECT_EQ(sim.keyboard_state(1)->click, -1);
    expect_ack(send(sim, 2, frame_of({0x00, 0x03, 0x02, 0x00, 0x05})), 0x03);
    EXPECT_EQ(sim.keyboard_state(2)->click, -1);
    // A pattern code no library sends.
    expect_negative_reply(send(sim, 1, frame_of({0x00, 0x04, 0x03, 0x03, 0x00, 0x0A})), 0x04);
}

TEST(SimulationProtocol, MalformedRequestsGetAProperNegativeReply) {
    Simulation sim({1});
    const Frame malformed[] = {
        frame_of({0x00, 0x01, 0x02, 0x01, 0x05}),        // wrong checksum
        frame_of({0x00, 0x30, 0x01, 0x31}),              // unknown command
        frame_of({0x00, 0x01, 0x03, 0x01, 0x00, 0x05}),  // get with a wrong length
        frame_of({0x01, 0x01, 0x02, 0x01, 0x04}),        // report ID not 0
        frame_of({0x00, 0x01, 0x00, 0x01}),              // L = 0
        frame_of({0x00, 0x05, 0x02, 0x01, 0x08}),        // buzzer off with payload 01
    };
    for (const Frame& request : malformed) {
        SCOPED_TRACE(hidlink::frame_checksum(request));
        expect_negative_reply(send(sim, 1, request), request[1]);
    }
    Frame too_long{};
    too_long.fill(0x01);
    too_long[0] = 0x00;
    too_long[2] = 36;
    expect_negative_reply(send(sim, 1, too_long), 0x01);
}

TEST(SimulationProtocol, InterfacesShowDecoysBeforeEachKeyboard) {
    Simulation sim({2, 1});
    const std::vector<InterfaceInfo>& list = sim.interfaces();
    ASSERT_EQ(list.size(), 6u);  // the Sparrow POS Keyboard brings a consumer-control decoy
    EXPECT_EQ(list[0].kind, InterfaceKind::other_vendor);
    EXPECT_NE(list[0].vendor_id, hidlink::ids::vendor_id);
    EXPECT_EQ(list[0].usage_page, hidlink::vendor_usage_page);
    // Enumeration order follows the order the models were given.
    EXPECT_EQ(list[1].kind, InterfaceKind::keyboard_collection);
    EXPECT_EQ(list[1].product_id, hidlink::ids::reed_product_id);
    EXPECT_EQ(list[1].usage_page, 0x0001);
    EXPECT_EQ(list[1].usage, 0x0006);
    EXPECT_EQ(list[2].kind, InterfaceKind::vendor);
    EXPECT_EQ(list[2].id, 2);
    EXPECT_EQ(list[4].product_id, hidlink::ids::sparrow_product_id);
    EXPECT_EQ(list[4].vendor_id, hidlink::ids::vendor_id);

    // A decoy takes reports but answers none.
    EXPECT_TRUE(send(sim, keyboard_collection_id(1), sparrow_read_request).empty());
    EXPECT_TRUE(send(sim, other_vendor_interface_id, reed_read_request).empty());

    hidlink::Capabilities vendor = capabilities_of(list[2]);
    EXPECT_EQ(vendor.report_length[0], 38);
    EXPECT_EQ(vendor.report_length[1], 38);
    EXPECT_EQ(vendor.report_length[2], 0);
    EXPECT_EQ(vendor.value_caps[0], 1);
    EXPECT_EQ(vendor.button_caps[0], 0);
    std::vector<hidlink::CapabilityRecord> input =
        value_capabilities_of(list[2], hidlink::ReportKind::input);
    ASSERT_EQ(input.size(), 1u);
    EXPECT_TRUE(input[0].is_range);
    EXPECT_LT(input[0].usage_min, input[0].usage_max);

    hidlink::Capabilities collection = capabilities_of(list[1]);
    EXPECT_EQ(collection.report_length[0], 9);
    EXPECT_EQ(collection.button_caps[0],
              button_capabilities_of(list[1], hidlink::ReportKind::input).size());
    EXPECT_EQ(max_usage_list_length_of(list[1], hidlink::ReportKind::output, 0x08), 5u);
}

TEST(SimulationProtocol, ModelListsAndTheAlternateIdentity) {
    std::vector<int> models;
    std::vector<int> alternates;
    std::string error;
    ASSERT_TRUE(parse_models("1alt, 3", models, alternates, error)) << error;
    EXPECT_EQ(models, (std::vector<int>{1, 3}));
    EXPECT_EQ(alternates, (std::vector<int>{1}));

    Simulation sim(models, alternates);
    const InterfaceInfo* sparrow = sim.find_interface(1);
    ASSERT_NE(sparrow, nullptr);
    EXPECT_EQ(sparrow->vendor_id, hidlink::ids::alternate_vendor_id);
    EXPECT_EQ(sparrow->product_id, hidlink::ids::alternate_product_id);
    EXPECT_EQ(send(sim, 1, sparrow_read_request).size(), 9u);  // same keyboard inside

    for (const char* bad : {"", "5", "0", "2alt", "1,1", "1,,2", "one", "1alt2"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse_models(bad, models, alternates, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimulationLog, FramesAndEventsAreLoggedInTheAgreedFormat) {
    Simulation sim({1});
    std::vector<std::string> lines;
    sim.set_log_sink([&lines](const std::string& line) { lines.push_back(line); });
    sim.set_clock_origin(10'000);

    send(sim, 1, frame_of({0x00, 0x02, 0x03, 0x01, 0x02, 0x08}), 11'204);
    std::string error;
    ASSERT_TRUE(sim.apply_command("fault 1 delay 1500 on 02", error)) << error;
    send(sim, 1, frame_of({0x00, 0x02, 0x03, 0x01, 0x02, 0x08}), 12'000);
    ASSERT_TRUE(sim.apply_command("unplug 1", error, 75'000'050)) << error;

    // The hex of a 38-byte frame from its leading bytes.
    auto padded = [](std::string hex) {
        while (hex.size() < 38 * 3 - 1) {
            hex += " 00";
        }
        return hex;
    };
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "1.204 1 in " + padded("00 02 03 01 02 08"));
    EXPECT_EQ(lines[1], "1.204 1 out " + padded("00 02 01 03"));
    EXPECT_EQ(lines[2], "2.000 1 in " + padded("00 02 03 01 02 08"));
    EXPECT_EQ(lines[3], "2.000 1 event fault delay 1500 on 02");
    EXPECT_EQ(lines[4], "3.500 1 out " + padded("00 02 01 03"));  // stamped when it is due
    EXPECT_EQ(lines[5], "74990.050 1 event unplug");

    EXPECT_EQ(log_time(0), "0.000");
    EXPECT_EQ(log_time(7), "0.007");
}

TEST(SimulationLog, FrameLinesReadBackAndOtherLinesDoNot) {
    Frame frame{};
    frame[1] = 0x21;
    frame[37] = 0xAB;
    LoggedFrame logged;
    ASSERT_TRUE(parse_frame_line(frame_line(75'204, 2, Direction::out, frame), logged));
    EXPECT_DOUBLE_EQ(logged.seconds, 75.204);
    EXPECT_EQ(logged.model, 2);
    EXPECT_EQ(logged.direction, Direction::out);
    EXPECT_EQ(logged.frame, frame);
    for (const char* line : {"3.000 1 event unplug", "1.0 1 in 00 21", "", "1.0 1 in 100"}) {
        EXPECT_FALSE(parse_frame_line(line, logged)) << line;
    }
}

}  // namespace
}  // namespace simulator
