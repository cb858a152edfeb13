// The settings frames, and reading and writing all items against the in-process simulated
// keyboards on a fake clock.
#include "settings_tool/settings_protocol.h"

#include <gtest/gtest.h>

#include "settings_tool/dialog_logic.h"

#include <string>
#include <vector>

#include "simulator/frame_log.h"
#include "simulator/inprocess_host.h"
#include "simulator/simulation.h"

namespace settings_tool {
namespace {

using hidlink::Frame;

Frame frame_of(std::initializer_list<std::uint8_t> bytes) {
    Frame frame{};
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return frame;
}

class Keyboards : public testing::Test {
  protected:
    Keyboards() {
        simulation_.set_log_sink([this](const std::string& line) {
            simulator::LoggedFrame logged;
            if (simulator::parse_frame_line(line, logged) &&
                logged.direction == simulator::Direction::in) {
                sent_.push_back(logged.frame);
            }
        });
    }

    void command(const std::string& text) {
        std::string error;
        ASSERT_TRUE(simulation_.apply_command(text, error)) << text << ": " << error;
    }

    // Item codes of the frames sent with a command byte, in order.
    std::vector<int> items_sent(std::uint8_t command_byte) const {
        std::vector<int> items;
        for (const Frame& f : sent_) {
            if (f[1] == command_byte) {
                items.push_back(f[3]);
            }
        }
        return items;
    }

    int kept(int model, Item item) {
        return simulation_.keyboard_state(model)->settings.at(static_cast<int>(item));
    }

    simulator::Simulation simulation_{std::vector<int>{1, 2, 3}};
    common::FakeClock clock_;
    simulator::InProcessHost host_{simulation_, clock_};
    hidlink::Link link_{host_, clock_};
    SettingsSession session_{link_};
    std::vector<Frame> sent_;
};

TEST(SettingsFrames, RequestsAndTheValueFrameRule) {
    EXPECT_EQ(get_request(Item::msr_type), frame_of({0x00, 0x01, 0x02, 0x01, 0x04}));
    EXPECT_EQ(get_request(Item::key_input), frame_of({0x00, 0x01, 0x02, 0x04, 0x07}));
    EXPECT_EQ(set_request(Item::key_lockout, 1), frame_of({0x00, 0x00, 0x03, 0x02, 0x01, 0x06}));
    EXPECT_EQ(set_request(Item::op_key, 255), frame_of({0x00, 0x00, 0x03, 0x03, 0xFF, 0x05}));

    const struct {
        Frame reply;
        bool accepted;
    } value_frames[] = {
        {frame_of({0x00, 0x01, 0x03, 0x01, 0x04, 0x09}), true},
        {frame_of({0x00, 0x81, 0x03, 0x01, 0x04, 0x89}), true},  // byte 1 is not examined
        {frame_of({0x00, 0x01, 0x03, 0x01, 0x04, 0x0A}), false},
        {frame_of({0x00, 0x01, 0x01, 0x02}), false},  // an ACK is no value frame
    };
    for (const auto& entry : value_frames) {
        EXPECT_EQ(accept_value_frame(entry.reply), entry.accepted);
    }
}

TEST_F(Keyboards, EachModelReadsAndWritesItsItemsInOrderOnOneOpenKeyboard) {
    const struct {
        std::int16_t selector;
        std::vector<int> read, written;
    } models[] = {
        {1, {1, 2, 4, 3}, {2, 4, 3}},
        {2, {1, 2, 4}, {2, 4}},
        {3, {1, 2}, {2}},
    };
    for (const auto& model : models) {
        SCOPED_TRACE(model.selector);
        sent_.clear();
        session_.model_selector = model.selector;
        int opens = host_.opens();
        EXPECT_EQ(session_.read_all(), 0u);
        EXPECT_EQ(items_sent(get_command), model.read);
        EXPECT_EQ(session_.write_all(), set_ok);
        EXPECT_EQ(items_sent(set_command), model.written);
        // Each operation opens only the model's keyboard interface, once (decoys before it
        // are opened and rejected by discovery).
        EXPECT_EQ(host_.open_devices(), 0);
        EXPECT_GE(host_.opens() - opens, 2);
    }
    for (const std::string& event : host_.phase_events()) {
        EXPECT_EQ(event, "ZELGETMSR");
    }
    // The simulator's values: MSR type 4, key lockout 1, OP key 255, key input 0.
    EXPECT_EQ(session_.values.msr_type, 4);
    EXPECT_EQ(session_.values.key_lockout, 1);
    EXPECT_EQ(session_.values.op_key, 255);
    EXPECT_EQ(session_.values.key_input, 0);
}

TEST_F(Keyboards, EachItemFailsAloneAndTheOthersAreStillRead) {
    command("set 1 msr-type = 5");
    command("set 1 key-lockout = 2");
    command("set 1 op-key = 0");
    command("set 1 key-input = 7");
    const struct {
        const char* fault;
        std::uint32_t result;
    } cases[] = {
        {"nak on 01:01", get_msr_type_failed},
        {"silent on 01:02", get_key_lockout_failed},
        {"badsum 2 on 01:04", get_key_input_failed},
        {"badsum 1 on 01:03", get_op_key_failed},
        // The late reply: its item fails, and being dropped before the next request, it is
        // not taken for the next item's reply.
        {"delay 1200 on 01:02", get_key_lockout_failed},
        {"delay 1200 on 01:01", get_msr_type_failed},
        // Later than both of its reads: the keyboard is let fall quiet before the next request.
        {"delay 2300 on 01:02", get_key_lockout_failed},
        // Inside the 1 s limit, however slow.
        {"delay 900 on 01:02", 0},
        // A value frame with command 0x81 and a matching checksum is accepted.
        {"patch 2 1=81 fixsum on 01:04", 0},
        // A value frame whose value changed but not its checksum is refused.
        {"patch 2 4=09 on 01:03", get_op_key_failed},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.fault);
        session_.model_selector = 1;
        session_.values = SettingsValues{};
        command(std::string("fault 1 ") + entry.fault);
        EXPECT_EQ(session_.read_all(), entry.result);
        const SettingsValues initial;
        const SettingsValues& got = session_.values;
        auto expect = [&](Item item, std::uint16_t keyboard) {
            EXPECT_EQ(got[item], (entry.result & failure_bit(item)) ? initial[item] : keyboard)
                << "item " << static_cast<int>(item);
        };
        expect(Item::msr_type, 5);
        expect(Item::key_lockout, 2);
        expect(Item::op_key, 0);
        expect(Item::key_input, 7);
        clock_.advance(5000);  // let late replies of this case pass
    }
}

TEST_F(Keyboards, ValuesReadAreWrittenBackUnchanged) {
    command("set 1 key-lockout = 2");
    command("set 1 op-key = 0");
    command("set 1 key-input = 9");
    session_.model_selector = 1;
    ASSERT_EQ(session_.read_all(), 0u);
    sent_.clear();
    ASSERT_EQ(session_.write_all(), set_ok);
    EXPECT_EQ(sent_,
              (std::vector<Frame>{set_request(Item::key_lockout, 2),
                                  set_request(Item::key_input, 9), set_request(Item::op_key, 0)}));
    EXPECT_EQ(kept(1, Item::key_lockout), 2);
    EXPECT_EQ(kept(1, Item::op_key), 0);
    // Only the low byte of a value goes to the keyboard.
    session_.values.key_input = 0x0102;
    ASSERT_EQ(session_.write_all(), set_ok);
    EXPECT_EQ(kept(1, Item::key_input), 2);
}

TEST_F(Keyboards, NotFoundAndFailedWrites) {
    command("unplug 2");
    session_.model_selector = 2;
    EXPECT_EQ(session_.read_all(), get_not_found);
    EXPECT_EQ(session_.write_all(), set_not_found);
    EXPECT_TRUE(sent_.empty());
    EXPECT_EQ(session_.values.msr_type, 3);  // untouched initial values
    EXPECT_EQ(session_.values.op_key, 1);

    // A refused write fails the set, and the later items are still written.
    session_.model_selector = 1;
    ASSERT_EQ(session_.read_all(), 0u);
    session_.values.op_key = 1;
    command("fault 1 nak on 00:02");
    EXPECT_EQ(session_.write_all(), set_failed);
    EXPECT_EQ(items_sent(set_command), (std::vector<int>{2, 4, 3}));
    EXPECT_EQ(kept(1, Item::op_key), 1);
    command("fault 1 silent on 00:03");
    EXPECT_EQ(session_.write_all(), set_failed);
    // Only the read-only MSR type is never written.
    EXPECT_TRUE(items_written(4).empty());
    EXPECT_EQ(items_read(4).size(), 1u);
}

TEST_F(Keyboards, SlowAndLateRepliesToSetRequests) {
    session_.model_selector = 1;
    ASSERT_EQ(session_.read_all(), 0u);
    session_.values.key_lockout = 0;
    session_.values.key_input = 1;
    session_.values.op_key = 1;
    command("fault 1 delay 900 on 00:02");
    EXPECT_EQ(session_.write_all(), set_ok);
    EXPECT_EQ(kept(1, Item::key_lockout), 0);

    // 1.2 s: that item fails (though the keyboard took it), the others are still written, and
    // its late ACK is taken for no later reply, neither in this write nor in the next read.
    session_.values.key_input = 0;
    session_.values.op_key = 255;
    command("fault 1 delay 1200 on 00:04");
    command("fault 1 nak on 00:03");
    EXPECT_EQ(session_.write_all(), set_failed);
    EXPECT_EQ(items_sent(set_command), (std::vector<int>{2, 4, 3, 2, 4, 3}));
    EXPECT_EQ(kept(1, Item::op_key), 1);
    command("fault 1 delay 1200 on 00:03");
    EXPECT_EQ(session_.write_all(), set_failed);
    EXPECT_EQ(session_.read_all(), 0u);
    EXPECT_EQ(session_.values.msr_type, 4);
    EXPECT_EQ(session_.values.op_key, 255);
}

TEST_F(Keyboards, TheValueEachControlStoresIsWhatIsWritten) {
    using Values = SettingsValues;
    const struct {
        const char* choice;
        void (*apply)(Values&);
        std::uint8_t key_lockout, key_input, op_key;
    } cases[] = {
        {"nothing changed", [](Values&) {}, 2, 7, 0},
        {"OP key box cleared", [](Values& v) { tick_op_key(v, false); }, 2, 7, 255},
        {"OP key box ticked", [](Values& v) { tick_op_key(v, true); }, 2, 7, 1},
        {"typematic box cleared", [](Values& v) { tick_typematic(v, false); }, 2, 0, 0},
        {"typematic box ticked", [](Values& v) { tick_typematic(v, true); }, 2, 1, 0},
        {"two-key button", [](Values& v) { choose_key_lockout(v, false); }, 0, 7, 0},
        {"roll-over button", [](Values& v) { choose_key_lockout(v, true); }, 1, 7, 0},
    };
    session_.model_selector = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        command("set 1 key-lockout = 2");
        command("set 1 op-key = 0");
        command("set 1 key-input = 7");
        ASSERT_EQ(session_.read_all(), 0u);  // the keyboard's own values again
        c.apply(session_.values);
        sent_.clear();
        ASSERT_EQ(session_.write_all(), set_ok);
        EXPECT_EQ(sent_, (std::vector<Frame>{set_request(Item::key_lockout, c.key_lockout),
                                             set_request(Item::key_input, c.key_input),
                                             set_request(Item::op_key, c.op_key)}));
    }
}

TEST_F(Keyboards, AnItemWhoseReadFailedIsNotWritten) {
    session_.model_selector = 1;
    sent_.clear();
    EXPECT_EQ(session_.write_all(), set_ok);  // nothing read yet: nothing written
    EXPECT_TRUE(items_sent(set_command).empty());

    const struct {
        const char* fault;
        std::vector<int> written;
    } cases[] =
        {
            {"nak on 01:02", {4, 3}},      {"silent on 01:04", {2, 3}},
            {"badsum 2 on 01:03", {2, 4}}, {"delay 1200 on 01:03", {2, 4}},
            {"nak on 01:01", {2, 4, 3}},  // the MSR type is never written anyway
        };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        command(std::string("fault 1 ") + c.fault);
        EXPECT_NE(session_.read_all(), 0u);
        clock_.advance(5000);  // let a late reply pass
        sent_.clear();
        EXPECT_EQ(session_.write_all(), set_ok);
        EXPECT_EQ(items_sent(set_command), c.written);
        // A later read of the item that succeeds makes it written again.
        ASSERT_EQ(session_.read_all(), 0u);
        sent_.clear();
        EXPECT_EQ(session_.write_all(), set_ok);
        EXPECT_EQ(items_sent(set_command), (std::vector<int>{2, 4, 3}));
    }
    // After a device change nothing held counts as read from the keyboard there now.
    session_.forget_reads();
    sent_.clear();
    EXPECT_EQ(session_.write_all(), set_ok);
    EXPECT_TRUE(items_sent(set_command).empty());

    // A model not found counts as read by nobody: once the keyboard is back, the values of the
    // model read before (a ReedKey PAD's) are not written into it.
    session_.model_selector = 2;
    ASSERT_EQ(session_.read_all(), 0u);
    command("unplug 1");
    session_.model_selector = 1;
    EXPECT_EQ(session_.read_all(), get_not_found);
    EXPECT_EQ(session_.write_all(), set_not_found);
    command("plug 1");
    sent_.clear();
    EXPECT_EQ(session_.write_all(), set_ok);
    EXPECT_TRUE(items_sent(set_command).empty());
    EXPECT_EQ(kept(1, Item::key_lockout), 1);
}

}  // namespace
}  // namespace settings_tool
