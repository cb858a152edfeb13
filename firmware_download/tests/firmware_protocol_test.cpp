// The download sequence, the date stamp and the version query against the in-process keyboards
// on the fake clock: frames on the wire, pauses, time limits, faults and the cancel request.
#include "firmware_download/firmware_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware_download/tests/keyboard_fixture.h"

namespace firmware_download {
namespace {

TEST(FirmwareFrames, FixedFramesSumAndProgress) {
    EXPECT_EQ(hex(init_frame(), 10), "00 20 06 00 AA 00 05 50 25 00");
    EXPECT_EQ(hex(version_request(), 6), "00 10 02 00 12 00");
    EXPECT_EQ(hex(date_stamp_frame("2011-01-01"), 16),
              "00 08 0C 05 32 30 31 31 2D 30 31 2D 30 31 F9 00");
    // A shorter text leaves zero bytes; a longer one is cut at ten characters.
    EXPECT_EQ(hex(date_stamp_frame("2013-5-6"), 16),
              "00 08 0C 05 32 30 31 33 2D 35 2D 36 00 00 A4 00");
    EXPECT_EQ(date_stamp_frame("2011-01-01 extra"), date_stamp_frame("2011-01-01"));

    FirmwareImage image;
    image.fill(0xFF);
    EXPECT_EQ(image_sum(image), 0x0000);
    image[0] = 0x00;
    image[1] = 0x01;
    EXPECT_EQ(image_sum(image), 0xFE03);  // 65534 × 0xFF + 0x01, cut to 16 bits

    const std::vector<std::pair<std::size_t, int>> progress = {
        {1, 0}, {2, 0}, {3, 1}, {1024, 500}, {2047, 999}, {2048, 1000}};
    for (auto [blocks, value] : progress) {
        EXPECT_EQ(progress_value(blocks), value) << blocks << " blocks";
    }
    EXPECT_EQ(version_text(0x01, 0x2A), "01.2a");
    EXPECT_EQ(version_text(0x10, 0x05), "10.05");
    EXPECT_EQ(version_text(VersionResult{}), "??.??");
}

class Sequence : public KeyboardFixture {
  protected:
    std::vector<int> progress_;
    bool busy_while_writing_ = false;

    DownloadOutcome run(int model) {
        session_.model_selector = static_cast<std::int16_t>(model);
        DownloadHooks hooks;
        hooks.on_writing = [this] { busy_while_writing_ = session_.busy(); };
        hooks.on_progress = [this](int value) { progress_.push_back(value); };
        return session_.download(hooks);
    }
};

TEST_F(Sequence, AllAcknowledgedSendsTheImageInOrderWithThePause) {
    for (std::size_t i = 0; i < session_.image.size(); ++i) {
        session_.image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
    }
    const std::uint16_t sum = image_sum(session_.image);
    // The Sparrow answers only under its alternate identity in this tool.
    ASSERT_EQ(run(1), DownloadOutcome::ended_normally);
    EXPECT_TRUE(busy_while_writing_);
    EXPECT_FALSE(session_.busy());

    ASSERT_EQ(sent_.size(), 1u + 1u + 2048u + 1u);
    EXPECT_EQ(sent_[0].frame, init_frame());
    const hidlink::Frame start = hidlink::make_start_frame(0x20, 0x00, sum);
    EXPECT_EQ(sent_[1].frame, start);
    EXPECT_EQ(start[8], static_cast<std::uint8_t>(0x26 + (sum >> 8) + (sum & 0xFF)));
    EXPECT_GE(sent_[1].seconds - sent_[0].seconds, 12.0);
    EXPECT_LT(sent_[1].seconds - sent_[0].seconds, 12.1);
    for (std::size_t k = 0; k < 2048; ++k) {
        const hidlink::Frame& data = sent_[2 + k].frame;
        ASSERT_EQ(hex(data, 5), "00 20 23 00 01") << "block " << k;
        ASSERT_TRUE(
            std::equal(data.begin() + 5, data.begin() + 37, session_.image.begin() + 32 * k));
    }
    EXPECT_EQ(hex(sent_.back().frame, 7), "00 20 03 00 FF 22 00");
    EXPECT_EQ(keyboard(1).firmware_image,
              std::vector<std::uint8_t>(session_.image.begin(), session_.image.end()));
    EXPECT_EQ(keyboard(1).firmware_blocks, 2048u);

    // One phase per exchange outside the data phase, one open for all 2048 data frames.
    EXPECT_EQ(host_.phase_events(),
              (std::vector<std::string>{"ZELDLInit", "ZELDLStart", "ZELDLData", "ZELDLEnd"}));
    EXPECT_EQ(host_.open_devices(), 0);

    ASSERT_EQ(progress_.size(), 2048u);
    EXPECT_EQ(progress_[0], 0);
    EXPECT_EQ(progress_[2], 1);
    EXPECT_EQ(progress_.back(), 1000);
}

TEST_F(Sequence, AllFfImageStartFrame) {
    ASSERT_EQ(run(4), DownloadOutcome::ended_normally);
    EXPECT_EQ(hex(sent_[1].frame, 10), "00 20 06 00 00 00 00 00 26 00");
}

TEST_F(Sequence, FaultsEndTheSequenceAtOnce) {
    struct Case {
        const char* fault;
        DownloadOutcome outcome;
        int starts, data_frames, ends;
    };
    const Case cases[] = {
        // A refused init frame fails before the pause.
        {"fault 2 nak on 20:00:AA", DownloadOutcome::failed, 0, 0, 0},
        {"fault 2 silent on 20:00:AA", DownloadOutcome::failed, 0, 0, 0},
        {"fault 2 nak on 20:00:00", DownloadOutcome::failed, 1, 0, 0},
        // The start reply may take 51 s.
        {"fault 2 delay 50000 on 20:00:00", DownloadOutcome::ended_normally, 1, 2048, 1},
        {"fault 2 delay 52000 on 20:00:00", DownloadOutcome::failed, 1, 0, 0},
        // A refused data frame: no end frame.
        {"fault 2 nak on 20:00:01 at 100", DownloadOutcome::failed, 1, 100, 0},
        {"fault 2 badsum on 20:00:01 at 7", DownloadOutcome::failed, 1, 7, 0},
        {"fault 2 nak on 20:00:FF", DownloadOutcome::failed, 1, 2048, 1},
        {"fault 2 unplug on 20:00:01 at 5", DownloadOutcome::failed, 1, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        simulator::Simulation simulation({2});
        common::FakeClock clock;
        simulator::InProcessHost host(simulation, clock);
        hidlink::Link link(host, clock, hidlink::Program::firmware_tool);
        FirmwareSession session(link, clock);
        int starts = 0, data_frames = 0, ends = 0;
        simulation.set_log_sink([&](const std::string& line) {
            if (line.find(" in 00 20 06 00 00 ") != std::string::npos)
                ++starts;
            if (line.find(" in 00 20 23 00 01 ") != std::string::npos)
                ++data_frames;
            if (line.find(" in 00 20 03 00 FF ") != std::string::npos)
                ++ends;
        });
        std::string error;
        ASSERT_TRUE(simulation.apply_command(c.fault, error)) << error;
        const std::uint64_t before = clock.now_ms();
        EXPECT_EQ(session.download(), c.outcome);
        EXPECT_FALSE(session.busy());
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(data_frames, c.data_frames);
        EXPECT_EQ(ends, c.ends);
        if (c.starts == 0) {
            EXPECT_LT(clock.now_ms() - before, after_init_pause_ms);
        }
        EXPECT_EQ(host.open_devices(), 0);
    }
}

TEST_F(Sequence, ConsoleBreaksHeldFromTheInitFrameToTheEndReply) {
    struct Case {
        const char* fault;  // nullptr: none
        DownloadOutcome outcome;
    };
    const Case cases[] = {
        {nullptr, DownloadOutcome::ended_normally},
        {"unplug 2", DownloadOutcome::failed},
        {"fault 2 nak on 20:00:AA", DownloadOutcome::failed},
        {"fault 2 silent on 20:00:00", DownloadOutcome::failed},
        {"fault 2 nak on 20:00:01 at 9", DownloadOutcome::failed},
        {"fault 2 nak on 20:00:FF", DownloadOutcome::failed},
        {"cancel", DownloadOutcome::canceled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault == nullptr ? "none" : c.fault);
        simulator::Simulation simulation({2});
        common::FakeClock clock;
        simulator::InProcessHost host(simulation, clock);
        hidlink::Link link(host, clock, hidlink::Program::firmware_tool);
        FirmwareSession session(link, clock);
        int frames_in = 0, frames_out = 0;
        simulation.set_log_sink([&](const std::string& line) {
            frames_in += line.find(" in ") != std::string::npos;
            frames_out += line.find(" out ") != std::string::npos;
        });
        struct Call {
            bool hold;
            int frames_in, frames_out;
        };
        std::vector<Call> calls;
        session.hold_interruptions = [&](bool hold) {
            calls.push_back({hold, frames_in, frames_out});
        };
        std::string error;
        const bool cancel = c.fault != nullptr && std::string(c.fault) == "cancel";
        if (c.fault != nullptr && !cancel) {
            ASSERT_TRUE(simulation.apply_command(c.fault, error)) << error;
        }
        DownloadHooks hooks;
        hooks.on_progress = [&](int) {
            if (cancel) {
                session.request_cancel();
            }
        };
        EXPECT_EQ(session.download(hooks), c.outcome);
        ASSERT_EQ(calls.size(), 2u);
        // Held before the first frame, released only after the last frame's reply was read
        // (or its failure), and nothing sent after that.
        EXPECT_TRUE(calls[0].hold);
        EXPECT_EQ(calls[0].frames_in, 0);
        EXPECT_FALSE(calls[1].hold);
        EXPECT_EQ(calls[1].frames_in, frames_in);
        if (c.outcome != DownloadOutcome::failed) {
            EXPECT_EQ(calls[1].frames_out, frames_in);  // the end frame's ACK included
        }
    }
}

TEST_F(Sequence, CancelDuringDataStillEndsTheTransfer) {
    session_.model_selector = 3;
    DownloadHooks hooks;
    hooks.on_progress = [this](int) {
        if (count_sent(0x20, 0x01) == 10) {
            session_.request_cancel();
        }
    };
    EXPECT_EQ(session_.download(hooks), DownloadOutcome::canceled);
    EXPECT_EQ(count_sent(0x20, 0x01), 10);
    EXPECT_EQ(hex(sent_.back().frame, 6), "00 20 03 00 FF 22");
    EXPECT_EQ(keyboard(3).firmware_blocks, 10u);

    // A cleared request lets the next download run whole.
    session_.clear_cancel();
    EXPECT_EQ(session_.download(), DownloadOutcome::ended_normally);
}

TEST_F(Sequence, PlainSparrowIdentityIsNotTheFirmwareToolsKeyboard) {
    simulator::Simulation simulation({1});  // model 1 with its ordinary identity
    common::FakeClock clock;
    simulator::InProcessHost host(simulation, clock);
    hidlink::Link link(host, clock, hidlink::Program::firmware_tool);
    FirmwareSession session(link, clock);
    session.model_selector = 1;
    EXPECT_EQ(session.download(), DownloadOutcome::failed);
    EXPECT_EQ(session.query_version().status, VersionStatus::no_device);
}

class DateStampAndVersion : public KeyboardFixture {};

TEST_F(DateStampAndVersion, DateStampWritesTheFirmwareDate) {
    session_.model_selector = 2;
    const std::uint64_t before = clock_.now_ms();
    session_.pause_before_date_stamp();
    EXPECT_EQ(clock_.now_ms() - before, 12000u);
    EXPECT_TRUE(session_.send_date_stamp("2024-02-29"));
    const auto& date = keyboard(2).firmware_date;
    EXPECT_EQ(std::string(date.begin(), date.end()), "2024-02-29");
    EXPECT_EQ(host_.phase_events().back(), "TimeSet");

    command("fault 2 nak on 08");
    EXPECT_FALSE(session_.send_date_stamp("2024-03-01"));
    command("unplug 2");
    EXPECT_FALSE(session_.send_date_stamp("2024-03-01"));
}

TEST_F(DateStampAndVersion, VersionQueryResults) {
    struct Case {
        std::vector<std::string> commands;
        VersionStatus status;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{}, VersionStatus::ok, "02.10"},
        {{"set 2 version 1A 2B"}, VersionStatus::ok, "1a.2b"},
        {{"set 2 version 10 05"}, VersionStatus::ok, "10.05"},
        // A refused request fails even though nothing else is wrong.
        {{"fault 2 nak on 10"}, VersionStatus::failed, "??.??"},
        // A negative first reply whose checksum holds, before a sound version frame.
        {{"fault 2 patch 1 1=81 fixsum on 10"}, VersionStatus::failed, "??.??"},
        {{"fault 2 badsum 1 on 10"}, VersionStatus::failed, "??.??"},
        // The ACK's command byte is not compared with the request's.
        {{"fault 2 patch 1 1=22 fixsum on 10"}, VersionStatus::ok, "10.05"},
        {{"fault 2 badsum 2 on 10"}, VersionStatus::failed, "??.??"},
        {{"fault 2 silent on 10"}, VersionStatus::failed, "??.??"},
        {{"unplug 2"}, VersionStatus::no_device, "??.??"},
    };
    session_.model_selector = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        command("clear-faults");
        command("plug 2");
        for (const std::string& text : c.commands) {
            command(text);
        }
        VersionResult result = session_.query_version();
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(version_text(result), c.text);
        EXPECT_EQ(host_.open_devices(), 0);
    }
    EXPECT_EQ(host_.phase_events().back(), "ZELGETVer");
}

}  // namespace
}  // namespace firmware_download
