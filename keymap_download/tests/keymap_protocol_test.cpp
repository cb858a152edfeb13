#include "keymap_download/keymap_protocol.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "keymap_download/tests/keyboard_fixture.h"

namespace keymap_download {
namespace {

using KeymapProtocol = KeyboardFixture;

TEST_F(KeymapProtocol, ReadAndCompare) {
    session_.record = sparrow_record();
    ASSERT_TRUE(session_.read_keymap());
    EXPECT_EQ(hex(sent_.at(0), 6), "00 11 02 00 13 00");
    EXPECT_EQ(host_.phase_events(), std::vector<std::string>{"KeyUpZEL"});
    EXPECT_EQ(host_.open_devices(), 0);
    // The keyboard's 192 bytes, then 0xFF to the end of the buffer.
    const auto& keyboard = keyboard_keymap(1);
    EXPECT_TRUE(std::equal(keyboard.begin(), keyboard.end(), session_.keymap_buffer.begin()));
    EXPECT_EQ(session_.keymap_buffer[192], 0xFF);
    EXPECT_EQ(session_.keymap_buffer[254], 0xFF);

    std::copy(keyboard.begin(), keyboard.end(), session_.file_keymap.begin());
    EXPECT_EQ(session_.compare(), CompareOutcome::same);
    session_.file_keymap[191] ^= 1;
    EXPECT_EQ(session_.compare(), CompareOutcome::different);

    // The ReedKey PAD compares 160 bytes only.
    session_.record = reed_record();
    const auto& reed = keyboard_keymap(2);
    std::copy(reed.begin(), reed.end(), session_.file_keymap.begin());
    session_.file_keymap[170] = 0;
    EXPECT_EQ(session_.compare(), CompareOutcome::same);
    EXPECT_EQ(hex(sent_.back(), 5), "00 11 02 01 14");
}

TEST_F(KeymapProtocol, ReadFailures) {
    // A model the tool does not serve: nothing is opened or sent.
    session_.record.model_selector = 3;
    EXPECT_FALSE(session_.read_keymap());
    EXPECT_EQ(session_.compare(), CompareOutcome::read_failed);
    EXPECT_EQ(host_.opens(), 0);

    session_.record = sparrow_record();
    command("fault 1 short 4 on 11");  // fewer data frames: the read times out
    EXPECT_EQ(session_.compare(), CompareOutcome::read_failed);
    command("fault 1 badsum 4 on 11");  // the second data frame's checksum is wrong
    EXPECT_FALSE(session_.read_keymap());
    command("fault 1 nak on 11");
    EXPECT_FALSE(session_.read_keymap());
    EXPECT_EQ(host_.open_devices(), 0);
    EXPECT_TRUE(session_.read_keymap());

    command("unplug 1");
    EXPECT_EQ(session_.compare(), CompareOutcome::read_failed);
}

// Lets a test act in the middle of an exchange, when the device is opened.
class InterruptingHost : public hidlink::Host {
  public:
    explicit InterruptingHost(hidlink::Host& inner) : inner_(inner) {}
    bool open_interface_list() override { return inner_.open_interface_list(); }
    hidlink::InterfaceLookup interface_path(std::uint32_t i, std::string& path) override {
        return inner_.interface_path(i, path);
    }
    void close_interface_list() override { inner_.close_interface_list(); }
    std::unique_ptr<hidlink::Device> open_device(const std::string& path) override {
        auto device = inner_.open_device(path);
        if (on_open) {
            auto once = std::move(on_open);
            on_open = nullptr;
            once();
        }
        return device;
    }
    std::function<void()> on_open;

  private:
    hidlink::Host& inner_;
};

TEST_F(KeymapProtocol, ReadIsNotReentrant) {
    InterruptingHost host(host_);
    hidlink::Link link(host, clock_);
    KeymapSession session(link, clock_);
    session.record = sparrow_record();
    bool nested = true;
    host.on_open = [&] { nested = session.read_keymap(); };
    EXPECT_TRUE(session.read_keymap());
    EXPECT_FALSE(nested);
    EXPECT_EQ(count_sent(0x11), 1);
}

TEST_F(KeymapProtocol, WriteSparrowAllFF) {
    session_.record = sparrow_record();
    session_.preset_file_keymap();
    std::vector<int> progress;
    bool busy_while_writing = false;
    WriteHooks hooks;
    hooks.on_writing = [&] { busy_while_writing = session_.busy(); };
    hooks.on_progress = [&](int value) { progress.push_back(value); };
    // Frames sent when the hold begins and ends: before the start frame, after the end frame.
    std::vector<std::pair<bool, std::size_t>> holds;
    hooks.hold_interruptions = [&](bool hold) { holds.emplace_back(hold, sent_.size()); };
    ASSERT_EQ(session_.write_keymap(hooks), WriteOutcome::ok);

    EXPECT_EQ(holds, (std::vector<std::pair<bool, std::size_t>>{{true, 0}, {false, 8}}));
    EXPECT_TRUE(busy_while_writing);
    EXPECT_FALSE(session_.busy());
    ASSERT_EQ(sent_.size(), 8u);
    EXPECT_EQ(hex(sent_[0], 10), "00 21 06 00 00 00 BF 40 26 00");
    for (std::size_t i = 1; i <= 6; ++i) {
        EXPECT_EQ(hex(sent_[i], 6), "00 21 23 00 01 FF");
        EXPECT_EQ(sent_[i][37], static_cast<std::uint8_t>(0x21 + 0x23 + 0x01 + 32 * 0xFF));
    }
    EXPECT_EQ(hex(sent_[7], 7), "00 21 03 00 FF 23 00");
    EXPECT_EQ(progress, (std::vector<int>{32, 65, 98, 130, 163, 196}));
    EXPECT_EQ(host_.phase_events(),
              (std::vector<std::string>{"ZELDLStart", "ZELDLStart", "ZELDLEnd"}));
    EXPECT_EQ(host_.open_devices(), 0);
    EXPECT_EQ(keyboard_keymap(1), std::vector<std::uint8_t>(192, 0xFF));
}

TEST_F(KeymapProtocol, WriteReedSendsFiveFrames) {
    for (std::size_t i = 0; i < file_keymap_size; ++i) {
        session_.file_keymap[i] = static_cast<std::uint8_t>(i);
    }
    int last_progress = 0;
    WriteHooks hooks;
    hooks.on_progress = [&](int value) { last_progress = value; };
    ASSERT_EQ(session_.write_keymap(hooks), WriteOutcome::ok);
    EXPECT_EQ(count_sent(0x21, 0x01), 5);
    // Flag 1; the sum covers bytes 0 … 159 only: 159 × 160 / 2 = 0x31B0.
    EXPECT_EQ(hex(sent_[0], 9), "00 21 06 00 00 01 31 B0 09");
    EXPECT_EQ(sent_[5][36], 159);
    EXPECT_EQ(last_progress, progress_range);
    EXPECT_EQ(keyboard_keymap(2), std::vector<std::uint8_t>(session_.file_keymap.begin(),
                                                            session_.file_keymap.begin() + 160));
}

TEST_F(KeymapProtocol, WriteFailuresStopAtOnce) {
    session_.record = sparrow_record();
    const auto before = keyboard_keymap(1);

    command("fault 1 nak on 21:00:00");
    EXPECT_EQ(session_.write_keymap(), WriteOutcome::start_failed);
    EXPECT_EQ(count_sent(0x21, 0x01), 0);

    sent_.clear();
    command("fault 1 nak on 21:00:01 at 3");
    std::vector<bool> holds;
    WriteHooks held;
    held.hold_interruptions = [&](bool hold) { holds.push_back(hold); };
    EXPECT_EQ(session_.write_keymap(held), WriteOutcome::data_failed);
    EXPECT_EQ(holds, (std::vector<bool>{true, false}));  // released after the failure too
    EXPECT_EQ(count_sent(0x21, 0x01), 3);
    EXPECT_EQ(count_sent(0x21, 0xFF), 0);

    command("fault 1 silent on 21:00:FF");
    EXPECT_EQ(session_.write_keymap(), WriteOutcome::end_failed);
    EXPECT_EQ(keyboard_keymap(1), before);
    EXPECT_FALSE(session_.busy());

    // No model chosen: nothing is sent and the busy flag is never set.
    sent_.clear();
    session_.record.model_selector = 0;
    bool writing = false;
    WriteHooks hooks;
    hooks.on_writing = [&] { writing = true; };
    EXPECT_EQ(session_.write_keymap(hooks), WriteOutcome::device_not_selected);
    EXPECT_FALSE(writing);
    EXPECT_TRUE(sent_.empty());

    // Unplugged after a compare: the write's start phase finds no keyboard.
    session_.record = sparrow_record();
    EXPECT_EQ(session_.compare(), CompareOutcome::different);
    command("unplug 1");
    EXPECT_EQ(session_.write_keymap(), WriteOutcome::start_failed);
}

TEST_F(KeymapProtocol, BatchBudget) {
    // Slow replies: 3000 ms each passes the per-frame time-out but not the batch budget.
    command("fault 2 delay 3000 on 21 always");
    WriteHooks batch;
    batch.batch_budget = true;
    EXPECT_EQ(session_.write_keymap(batch), WriteOutcome::timeout);
    EXPECT_LT(count_sent(0x21, 0x01), 5);
    EXPECT_EQ(count_sent(0x21, 0xFF), 0);
    // The GUI waits as long as the keyboard needs.
    EXPECT_EQ(session_.write_keymap(), WriteOutcome::ok);
    // Once the end frame is accepted the keyboard holds the key map: the budget running out
    // during that last reply is no failure.
    command("clear-faults");
    command("fault 2 delay 4900 on 21:00:00 always");
    command("fault 2 delay 800 on 21:00:01 always");
    command("fault 2 delay 4900 on 21:00:FF always");
    const std::uint64_t start = clock_.now_ms();
    EXPECT_EQ(session_.write_keymap(batch), WriteOutcome::ok);
    EXPECT_GT(clock_.now_ms() - start, batch_write_budget_ms);
}

TEST_F(KeymapProtocol, DateStamp) {
    EXPECT_EQ(hex(date_stamp_frame("2011-01-01"), 16),
              "00 08 0C 03 32 30 31 31 2D 30 31 2D 30 31 F7 00");
    EXPECT_EQ(hex(date_stamp_frame("2011-01-01 and more"), 15),
              hex(date_stamp_frame("2011-01-01"), 15));
    EXPECT_EQ(hex(date_stamp_frame("99"), 16), "00 08 0C 03 39 39 00 00 00 00 00 00 00 00 89 00");

    const std::uint64_t start = clock_.now_ms();
    session_.pause_before_date_stamp();
    EXPECT_EQ(clock_.now_ms() - start, date_stamp_pause_ms);

    ASSERT_TRUE(session_.send_date_stamp("2011-01-01 "));
    EXPECT_EQ(keyboard_date(2), "2011-01-01");
    EXPECT_EQ(host_.phase_events().back(), "TimeSet");
    command("fault 2 nak on 08");
    EXPECT_FALSE(session_.send_date_stamp("2012-02-02"));
    command("unplug 2");
    EXPECT_FALSE(session_.send_date_stamp("2012-02-02"));
    EXPECT_EQ(keyboard_date(2), "2011-01-01");
}

}  // namespace
}  // namespace keymap_download
