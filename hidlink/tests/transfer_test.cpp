#include "hidlink/transfer.h"

#include <gtest/gtest.h>

#include "hidlink/tests/scripted_host.h"

namespace hidlink {
namespace {

using testing::keyboard_interface;
using testing::ScriptedHost;
using testing::TimedReply;

Frame negative_reply() {
    const std::uint8_t payload[] = {0x00};
    return make_frame(negative_reply_command, payload);
}

// A keyboard that ACKs every frame, except where a test says otherwise.
class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.interfaces = {
            keyboard_interface("sparrow", {ids::vendor_id, ids::sparrow_product_id})};
        host.respond = [this](const Frame& in) {
            std::size_t n = host.written.size();  // this frame's number, from 1
            if (n == refuse_frame) {
                return std::vector<TimedReply>{{negative_reply(), 0}};
            }
            if (n == silent_frame) {
                return std::vector<TimedReply>{};
            }
            Frame ack = make_frame(in[1], {});
            if (n == corrupt_frame) {
                ack[3] ^= 0x10;
            }
            return std::vector<TimedReply>{{ack, n == 1 ? start_delay_ms : 1}};
        };
        link.model_selector = 1;
        for (std::size_t i = 0; i < keymap.size(); ++i) {
            keymap[i] = static_cast<std::uint8_t>(i);
        }
    }

    OutgoingTransfer keymap_write() {
        OutgoingTransfer t;
        t.command = 0x21;
        t.flag = 0x00;
        t.data = keymap;
        t.on_progress = [this](std::size_t sent) { progress.push_back(sent); };
        return t;
    }

    common::FakeClock clock;
    ScriptedHost host{clock};
    Link link{host, clock};
    std::array<std::uint8_t, 192> keymap{};
    std::vector<std::size_t> progress;
    std::size_t refuse_frame = 0;
    std::size_t silent_frame = 0;
    std::size_t corrupt_frame = 0;
    std::uint32_t start_delay_ms = 1;
};

TEST_F(TransferTest, SendsStartDataAndEndFramesInThreePhases) {
    EXPECT_EQ(send_transfer(link, keymap_write()), TransferResult::ok);
    ASSERT_EQ(host.written.size(), 8u);
    EXPECT_EQ(host.written[0], make_start_frame(0x21, 0x00, sum16(keymap)));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(host.written[1 + i],
                  make_data_frame(0x21, std::span(keymap).subspan(32 * i, 32)));
    }
    EXPECT_EQ(host.written[7], make_end_frame(0x21));
    EXPECT_EQ(host.opened_paths.size(), 3u);
    EXPECT_EQ(host.phase_events,
              (std::vector<std::string>{"ZELDLStart", "ZELDLStart", "ZELDLEnd"}));
    EXPECT_EQ(progress, (std::vector<std::size_t>{32, 64, 96, 128, 160, 192}));
    EXPECT_EQ(host.open_devices, 0);
}

TEST_F(TransferTest, EachPhaseFailsOnItsOwnAndNothingFollowsAFailure) {
    refuse_frame = 1;
    EXPECT_EQ(send_transfer(link, keymap_write()), TransferResult::start_failed);
    EXPECT_EQ(host.written.size(), 1u);

    host.written.clear();
    refuse_frame = 0;
    corrupt_frame = 4;  // the third data frame's ACK has a wrong checksum
    EXPECT_EQ(send_transfer(link, keymap_write()), TransferResult::data_failed);
    EXPECT_EQ(host.written.size(), 4u);
    EXPECT_EQ(host.written.back()[4], 0x01);  // no end frame after a failed data frame

    host.written.clear();
    corrupt_frame = 0;
    silent_frame = 8;
    std::uint64_t start = clock.now_ms();
    EXPECT_EQ(send_transfer(link, keymap_write()), TransferResult::end_failed);
    EXPECT_GT(clock.now_ms() - start, default_timeout_ms);
    EXPECT_EQ(host.cancels, 1);
    EXPECT_EQ(host.open_devices, 0);
}

TEST_F(TransferTest, KeyboardGoneAtAPhaseStartFailsThatPhaseBeforeWriting) {
    const std::pair<int, TransferResult> cases[] = {{0, TransferResult::start_failed},
                                                    {1, TransferResult::data_failed},
                                                    {2, TransferResult::end_failed}};
    for (auto [opens, expected] : cases) {
        host.written.clear();
        host.opened_paths.clear();
        host.opens_before_unplug = opens;
        EXPECT_EQ(send_transfer(link, keymap_write()), expected) << opens;
        std::size_t frames_before_gone[] = {0, 1, 7};
        EXPECT_EQ(host.written.size(), frames_before_gone[opens]);
    }
}

TEST_F(TransferTest, StartReplyWaitsItsOwnTimeOut) {
    start_delay_ms = 50000;
    OutgoingTransfer t = keymap_write();
    EXPECT_EQ(send_transfer(link, t), TransferResult::start_failed);
    t.start_reply_timeout_ms = firmware_start_reply_timeout_ms;
    EXPECT_EQ(send_transfer(link, t), TransferResult::ok);
}

TEST_F(TransferTest, BudgetIsCheckedBetweenFramesAndCancelStillSendsTheEndFrame) {
    OutgoingTransfer t = keymap_write();
    int checks = 0;
    t.within_budget = [&] { return ++checks <= 3; };  // before, after start, 1st data frame
    EXPECT_EQ(send_transfer(link, t), TransferResult::over_budget);
    EXPECT_EQ(host.written.size(), 3u);
    EXPECT_EQ(host.open_devices, 0);

    host.written.clear();
    progress.clear();
    t = keymap_write();
    t.cancel_requested = [&] { return progress.size() >= 2; };
    EXPECT_EQ(send_transfer(link, t), TransferResult::ok);
    ASSERT_EQ(host.written.size(), 4u);
    EXPECT_EQ(host.written.back(), make_end_frame(0x21));
}

// The keyboard side of a key map read: ACK, start, `frames` data frames, end.
std::vector<TimedReply> keymap_read_replies(std::size_t frames, std::uint8_t sub_code = 0x01) {
    std::vector<TimedReply> out{{make_frame(0x11, {}), 1}, {make_start_frame(0x11, 1, 0), 1}};
    for (std::size_t i = 0; i < frames; ++i) {
        std::array<std::uint8_t, 32> block;
        block.fill(static_cast<std::uint8_t>(0x10 + i));
        Frame data = make_data_frame(0x11, block);
        data[4] = sub_code;
        data[37] = frame_checksum(data);
        out.push_back({data, 1});
    }
    out.push_back({make_end_frame(0x11), 1});
    return out;
}

TEST_F(TransferTest, ReceiveChecksEveryFrameAndFillsTheBuffer) {
    const std::uint8_t flag[] = {0x01};
    Frame request = make_frame(0x11, flag);
    std::array<std::uint8_t, 255> buffer;
    buffer.fill(0x00);

    host.respond = [](const Frame&) { return keymap_read_replies(5); };
    ASSERT_TRUE(receive_transfer(link, "KeyUpZEL", request, 5, buffer));
    EXPECT_EQ(host.written, std::vector<Frame>{request});
    EXPECT_EQ(buffer[0], 0x10);
    EXPECT_EQ(buffer[159], 0x14);
    EXPECT_EQ(buffer[160], 0xFF);
    EXPECT_EQ(buffer[254], 0xFF);
    EXPECT_EQ(host.open_devices, 0);

    host.respond = [](const Frame&) {  // one data frame short, then silence
        std::vector<TimedReply> replies = keymap_read_replies(4);
        replies.pop_back();
        return replies;
    };
    std::uint64_t start = clock.now_ms();
    EXPECT_FALSE(receive_transfer(link, "KeyUpZEL", request, 5, buffer));
    EXPECT_GT(clock.now_ms() - start, default_timeout_ms);

    host.respond = [](const Frame&) { return keymap_read_replies(5, 0x02); };
    EXPECT_FALSE(receive_transfer(link, "KeyUpZEL", request, 5, buffer));

    buffer.fill(0x00);
    host.respond = [](const Frame&) { return std::vector<TimedReply>{{negative_reply(), 1}}; };
    EXPECT_FALSE(receive_transfer(link, "KeyUpZEL", request, 5, buffer));
    EXPECT_EQ(buffer[0], 0x00);  // untouched until a start frame arrives

    std::array<std::uint8_t, 64> small{};
    EXPECT_FALSE(receive_transfer(link, "KeyUpZEL", request, 5, small));
    EXPECT_EQ(host.open_devices, 0);
}

TEST_F(TransferTest, RequestPhaseTellsEachOutcomeApart) {
    Frame request = make_frame(0x08, {});
    Frame reply;
    EXPECT_EQ(request_phase(link, "TimeSet", request, reply), PhaseResult::accepted);
    refuse_frame = 2;
    EXPECT_EQ(request_phase(link, "TimeSet", request, reply), PhaseResult::refused);
    silent_frame = 3;
    EXPECT_EQ(request_phase(link, "TimeSet", request, reply), PhaseResult::no_reply);
    host.opens_before_unplug = 0;
    host.opened_paths.clear();
    host.written.clear();
    EXPECT_EQ(request_phase(link, "TimeSet", request, reply), PhaseResult::no_device);
    EXPECT_TRUE(host.written.empty());
}

// Several requests on one open link, each answered by an ACK and a frame naming the request's
// byte 3: a reply that comes after its time-out must not be taken as the next request's.
TEST_F(TransferTest, ExchangeOnOpenLinkDropsALateReplyAndReadsEverySlot) {
    host.respond = [this](const Frame& in) {
        std::uint32_t delay = in[3] == 1 ? 1200 : 1;
        const std::uint8_t named[] = {0x00, in[3]};
        std::vector<TimedReply> replies{{make_frame(in[1], {}), delay},
                                        {make_frame(0x01, named), 1}};
        if (in[3] == 3) {
            replies[0].frame = negative_reply();
        }
        return replies;
    };
    ASSERT_TRUE(link.find_and_open());
    link.begin_phase("ZELGETMSR");
    std::array<ReplyRead, 2> replies;
    for (std::uint8_t item : {1, 2, 3}) {
        const std::uint8_t payload[] = {item};
        exchange_on_open_link(link, make_frame(0x01, payload), replies, settings_timeout_ms);
        SCOPED_TRACE(item);
        if (item == 1) {
            // The ACK came at 1200 ms: the first slot timed out and the second took the late ACK.
            EXPECT_FALSE(replies[0].received);
            EXPECT_TRUE(replies[1].received);
            EXPECT_EQ(replies[1].frame[2], 1);
            continue;
        }
        // Item 1's own second reply was waiting and is gone; a refused first reply (item 3)
        // still lets the second slot be read.
        EXPECT_TRUE(replies[0].received);
        EXPECT_EQ(accept_reply(replies[0].frame), item == 2);
        ASSERT_TRUE(replies[1].received);
        EXPECT_EQ(replies[1].frame[4], item);
    }
    link.close();
    EXPECT_EQ(host.written.size(), 3u);
}

}  // namespace
}  // namespace hidlink
