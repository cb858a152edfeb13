// Injected faults: what each one does to the answer, and which frames it hits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/simulation.h"
#include "simulator/tests/test_frames.h"

namespace simulator {
namespace {

using hidlink::Frame;
using testing::frame_of;
using testing::send;

const Frame sparrow_read_request = frame_of({0x00, 0x11, 0x02, 0x00, 0x13});
const Frame get_msr_type = frame_of({0x00, 0x01, 0x02, 0x01, 0x04});
const Frame set_key_lockout_0 = frame_of({0x00, 0x00, 0x03, 0x02, 0x00, 0x05});

void command(Simulation& sim, const std::string& text) {
    std::string error;
    ASSERT_TRUE(sim.apply_command(text, error)) << text << ": " << error;
}

bool refused(const std::vector<Frame>& replies) {
    return replies.size() == 1 && replies[0][1] == 0x81;
}

TEST(SimulationFaults, NakAndSilentRefuseTheRequestWithoutCarryingItOut) {
    Simulation sim({1, 2});
    // Negative reply to the key map write start frame only: the data frame that follows is
    // refused too, since no write was started.
    command(sim, "fault 1 nak on 21:00:00");
    EXPECT_TRUE(refused(send(sim, 1, hidlink::make_start_frame(0x21, 0, 0))));
    EXPECT_TRUE(
        refused(send(sim, 1, hidlink::make_data_frame(0x21, std::vector<std::uint8_t>(32)))));
    // Once: the next start frame is acknowledged.
    EXPECT_TRUE(hidlink::accept_reply(send(sim, 1, hidlink::make_start_frame(0x21, 0, 0))[0]));

    command(sim, "fault 1 silent always");
    EXPECT_TRUE(send(sim, 1, set_key_lockout_0).empty());
    EXPECT_TRUE(send(sim, 1, get_msr_type).empty());
    EXPECT_EQ(sim.keyboard_state(1)->settings.at(item_key_lockout), 1);
    EXPECT_EQ(send(sim, 2, get_msr_type).size(), 2u);  // other models are not affected

    command(sim, "clear-faults 1");
    EXPECT_EQ(send(sim, 1, get_msr_type).size(), 2u);

    // No reply / negative reply to the date stamp, and only to the item it targets.
    const std::uint8_t keymap_date[] = {0x03, '2', '0', '1', '1', '-', '0', '1', '-', '0', '1'};
    const std::uint8_t firmware_date[] = {0x05, '2', '0', '1', '1', '-', '0', '1', '-', '0', '1'};
    command(sim, "fault 1 silent on 08:03");
    EXPECT_TRUE(send(sim, 1, hidlink::make_frame(0x08, firmware_date)).size() == 1);
    EXPECT_TRUE(send(sim, 1, hidlink::make_frame(0x08, keymap_date)).empty());
    command(sim, "fault 1 nak on 08");
    EXPECT_TRUE(refused(send(sim, 1, hidlink::make_frame(0x08, keymap_date))));
    EXPECT_EQ(sim.keyboard_state(1)->keymap_date, initial_state(1).keymap_date);
}

TEST(SimulationFaults, BadChecksumSpoilsTheChosenReplyButTheRequestIsCarriedOut) {
    Simulation sim({1});
    command(sim, "fault 1 badsum on 00");
    std::vector<Frame> replies = send(sim, 1, set_key_lockout_0);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0][1], 0x00);
    EXPECT_FALSE(hidlink::accept_reply(replies[0]));
    EXPECT_EQ(sim.keyboard_state(1)->settings.at(item_key_lockout), 0);

    // The second reply of a settings read is its value frame.
    command(sim, "fault 1 badsum 2 on 01");
    replies = send(sim, 1, get_msr_type);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_TRUE(hidlink::accept_reply(replies[0]));
    EXPECT_FALSE(hidlink::is_value_frame(replies[1]));

    // The third reply of a key map read is its first data frame.
    command(sim, "fault 1 badsum 3 on 11");
    replies = send(sim, 1, sparrow_read_request);
    ASSERT_EQ(replies.size(), 9u);
    EXPECT_TRUE(hidlink::is_start_frame(replies[1]));
    EXPECT_FALSE(hidlink::is_data_frame(replies[2]));
    EXPECT_TRUE(hidlink::is_data_frame(replies[3]));
}

TEST(SimulationFaults, DelayHoldsBackTheFirstReplyOfEveryMatchingFrame) {
    Simulation sim({1});
    command(sim, "fault 1 delay 3000 on 21 always");
    for (int i = 0; i < 3; ++i) {
        Response response = sim.on_frame(1, hidlink::make_start_frame(0x21, 0, 0), 0);
        ASSERT_EQ(response.replies.size(), 1u);
        EXPECT_EQ(response.replies[0].delay_ms, 3000u);
    }
    Response other = sim.on_frame(1, get_msr_type, 0);
    ASSERT_EQ(other.replies.size(), 2u);
    EXPECT_EQ(other.replies[0].delay_ms, 0u);

    command(sim, "clear-faults");
    command(sim, "fault 1 delay 700 on 11");
    Response read = sim.on_frame(1, sparrow_read_request, 0);
    ASSERT_EQ(read.replies.size(), 9u);
    EXPECT_EQ(read.replies[0].delay_ms, 700u);
    EXPECT_EQ(read.replies[1].delay_ms, 0u);

    // Delays of several faults add up, and a sum beyond the reply's range stays the longest
    // delay instead of wrapping round to a short one.
    command(sim, "clear-faults");
    for (int i = 0; i < 5; ++i) {
        command(sim, "fault 1 delay 1000000000 on 10");
    }
    Response late = sim.on_frame(1, frame_of({0x00, 0x10, 0x02, 0x00, 0x12}), 0);
    ASSERT_EQ(late.replies.size(), 2u);
    EXPECT_EQ(late.replies[0].delay_ms, 0xFFFFFFFFu);
}

TEST(SimulationFaults, ShortKeymapReadStopsAfterItsDataFrames) {
    Simulation sim({1});
    command(sim, "fault 1 short 4");
    // Other commands do not use the fault up.
    EXPECT_EQ(send(sim, 1, get_msr_type).size(), 2u);
    std::vector<Frame> replies = send(sim, 1, sparrow_read_request);
    ASSERT_EQ(replies.size(), 6u);  // ACK, start, 4 data frames, no end frame
    EXPECT_TRUE(hidlink::is_start_frame(replies[1]));
    EXPECT_TRUE(hidlink::is_data_frame(replies[5]));
    EXPECT_EQ(send(sim, 1, sparrow_read_request).size(), 9u);
}

TEST(SimulationFaults, UnplugAtAFrameTakesTheKeyboardAway) {
    Simulation sim({1, 2});
    std::vector<std::string> lines;
    sim.set_log_sink([&lines](const std::string& line) { lines.push_back(line); });
    command(sim, "fault 1 unplug on 21");
    // A compare's read still works; the write's first frame finds the keyboard leaving.
    EXPECT_EQ(send(sim, 1, sparrow_read_request).size(), 9u);
    Response response = sim.on_frame(1, hidlink::make_start_frame(0x21, 0, 0), 0);
    EXPECT_TRUE(response.unplug);
    EXPECT_TRUE(response.replies.empty());
    EXPECT_FALSE(sim.find_interface(1)->plugged);
    EXPECT_FALSE(sim.find_interface(keyboard_collection_id(1))->plugged);
    EXPECT_TRUE(sim.find_interface(2)->plugged);
    EXPECT_FALSE(sim.keyboard_state(1)->plugged);
    EXPECT_TRUE(sim.on_frame(1, sparrow_read_request, 0).replies.empty());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[lines.size() - 2].find(" 1 event fault unplug on 21"), std::string::npos);
    EXPECT_NE(lines.back().find(" 1 event unplug"), std::string::npos);

    // unplug-after answers first, then the keyboard is gone.
    command(sim, "plug 1");
    command(sim, "fault 1 unplug-after on 11");
    response = sim.on_frame(1, sparrow_read_request, 0);
    EXPECT_TRUE(response.unplug);
    EXPECT_EQ(response.replies.size(), 9u);
    EXPECT_FALSE(sim.find_interface(1)->plugged);
}

TEST(SimulationFaults, AtAndTimesChooseWhichMatchingFramesAreHit) {
    Simulation sim({1});
    command(sim, "fault 1 nak on 01 at 3 times 2");
    std::vector<bool> hit;
    for (int i = 0; i < 6; ++i) {
        send(sim, 1, set_key_lockout_0);  // not matching: does not count
        hit.push_back(refused(send(sim, 1, get_msr_type)));
    }
    EXPECT_EQ(hit, (std::vector<bool>{false, false, true, true, false, false}));
    EXPECT_TRUE(sim.faults(1).empty());

    // Two faults on one frame: both apply.
    command(sim, "fault 1 delay 100 on 01");
    command(sim, "fault 1 badsum on 01");
    Response both = sim.on_frame(1, get_msr_type, 0);
    ASSERT_EQ(both.replies.size(), 2u);
    EXPECT_EQ(both.replies[0].delay_ms, 100u);
    EXPECT_FALSE(hidlink::accept_reply(both.replies[0].frame));
}

TEST(SimulationFaults, PatchChangesReplyBytesAndFixesTheChecksumOnRequest) {
    Simulation sim({1});
    const Frame get_version = frame_of({0x00, 0x10, 0x02, 0x00, 0x12});
    // A value frame whose command byte is 0x81 but whose checksum matches; the ACK untouched.
    command(sim, "fault 1 patch 2 1=81 fixsum on 01:01");
    EXPECT_EQ(send(sim, 1, get_msr_type),
              (std::vector<Frame>{frame_of({0x00, 0x01, 0x01, 0x02}),
                                  frame_of({0x00, 0x81, 0x03, 0x01, 0x04, 0x89})}));
    // A negative first reply to the version query with a sound checksum, the version frame
    // as ever.
    command(sim, "fault 1 patch 1=81 fixsum on 10");
    std::vector<Frame> version = send(sim, 1, get_version);
    ASSERT_EQ(version.size(), 2u);
    EXPECT_EQ(version[0], frame_of({0x00, 0x81, 0x01, 0x82}));
    EXPECT_TRUE(hidlink::is_value_frame(version[1]));
    // Without fixsum the checksum stays as it was, so the changed value frame fails it; a
    // patch of a reply the answer lacks changes nothing; a changed length moves the fixed sum.
    command(sim, "fault 1 patch 2 4=05 on 01");
    EXPECT_EQ(send(sim, 1, get_msr_type)[1], frame_of({0x00, 0x01, 0x03, 0x01, 0x05, 0x09}));
    command(sim, "fault 1 patch 3 1=81 fixsum on 00");
    EXPECT_EQ(send(sim, 1, set_key_lockout_0), (std::vector<Frame>{frame_of({0, 0, 1, 1})}));
    command(sim, "fault 1 patch 2=02 fixsum on 00");
    EXPECT_EQ(send(sim, 1, set_key_lockout_0), (std::vector<Frame>{frame_of({0, 0, 2, 1, 3})}));
    EXPECT_TRUE(sim.faults(1).empty());
}

TEST(SimulationFaults, BadCommandsAreRejectedWithAReason) {
    Simulation sim({1});
    const char* bad[] = {
        "fault 1",                     // no action
        "fault 1 explode",             // unknown action
        "fault 1 delay",               // missing number
        "fault 1 delay soon",          //
        "fault 1 nak on 2G",           // not hex
        "fault 1 nak on 21:00:00:00",  // too many bytes
        "fault 1 nak at 0",            // counts from 1
        "fault 1 nak once always",     // two counts
        "fault 1 badsum 0",            // replies count from 1
        "fault 1 short 4 on 21",       // short is for key map reads
        "fault 1 patch",               // no byte to change
        "fault 1 patch 0 1=81",        // replies count from 1
        "fault 1 patch 38=00",         // beyond the frame
        "fault 1 patch 1=8G fixsum",   // not hex
        "fault 1 nak sometimes",       // stray word
        "fault 2 nak",                 // model not present
        "fault 9 nak",                 // no such model
        "unplug",                      // no model
        "unplug 1 2",                  //
        "set 1 keymap 00",             // wrong length
        "set 1 colour = red",          // unknown key
        "launch 1",                    // unknown command
        "",                            //
        // One command is one line: neither a second state-file line nor a line break in the
        // frame log's fault event.
        "set 1 click = 3\nkey-lockout = 0",
        "fault 1 nak\non 21",
        "fault 1 nak on 21\r\nfault 1 silent",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(sim.apply_command(text, error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(sim.faults(1).empty());
    EXPECT_EQ(*sim.keyboard_state(1), initial_state(1));
}

}  // namespace
}  // namespace simulator
