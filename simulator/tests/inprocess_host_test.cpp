// The in-process host under the real link: discovery among decoys, handles, time and faults.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "hidlink/link.h"
#include "hidlink/transfer.h"
#include "simulator/inprocess_host.h"
#include "simulator/tests/test_frames.h"

namespace simulator {
namespace {

using hidlink::Frame;
using hidlink::IoStatus;
using hidlink::Link;
using testing::frame_of;

const Frame get_msr_type = frame_of({0x00, 0x01, 0x02, 0x01, 0x04});

struct Bench {
    explicit Bench(std::vector<int> models = {1, 2, 3, 4}) : sim(std::move(models)) {}

    void command(const std::string& text) {
        std::string error;
        ASSERT_TRUE(sim.apply_command(text, error)) << error;
    }

    Simulation sim;
    common::FakeClock clock;
    InProcessHost host{sim, clock};
};

TEST(SimulationInProcessHost, DiscoveryOpensOnlyTheSelectedModelsVendorInterface) {
    Bench bench;
    std::string path;
    ASSERT_TRUE(bench.host.open_interface_list());
    ASSERT_EQ(bench.host.interface_path(0, path), hidlink::InterfaceLookup::found);
    EXPECT_EQ(path, "sim:99");
    ASSERT_EQ(bench.host.interface_path(1, path), hidlink::InterfaceLookup::found);
    EXPECT_EQ(path, "sim:11");
    EXPECT_EQ(bench.host.interface_path(10, path), hidlink::InterfaceLookup::no_more);
    bench.host.close_interface_list();

    Link link(bench.host, bench.clock);
    for (std::int16_t selector : {1, 2, 3, 4}) {
        SCOPED_TRACE(selector);
        link.model_selector = selector;
        ASSERT_TRUE(link.find_and_open());
        EXPECT_EQ(link.capabilities().usage_page, hidlink::vendor_usage_page);
        // The standard program treats selector 4 like 2: the ReedKey PAD answers.
        Frame reply{};
        link.begin_phase("ZELGETMSR");
        link.write_frame(get_msr_type, 1000);
        ASSERT_TRUE(link.read_frame(reply, 1000));
        link.close();
    }
    EXPECT_EQ(bench.host.open_devices(), 0);
    // Each discovery opened the two decoys ahead of its keyboard and closed them again.
    EXPECT_GT(bench.host.opens(), 4);

    // The usage range of the input value capability gives two usage entries.
    link.model_selector = 1;
    ASSERT_TRUE(link.find_and_open());
    EXPECT_EQ(link.report_kind(hidlink::ReportKind::input).usage_data.size(), 2u);
    link.close();
}

TEST(SimulationInProcessHost, UnpluggedOrUnknownInterfacesAreNotFound) {
    Bench bench({1, 2});
    bench.command("unplug 1");
    Link link(bench.host, bench.clock);
    link.model_selector = 1;
    EXPECT_FALSE(link.find_and_open());
    EXPECT_EQ(bench.host.open_device("sim:1"), nullptr);
    EXPECT_EQ(bench.host.open_device("sim:11"), nullptr);
    EXPECT_EQ(bench.host.open_device("sim:7"), nullptr);
    EXPECT_EQ(bench.host.open_device("sim:"), nullptr);
    EXPECT_EQ(bench.host.open_device("sim:1x"), nullptr);
    EXPECT_EQ(bench.host.open_device("\\\\.\\pipe\\kbd"), nullptr);
    bench.command("plug 1");
    EXPECT_TRUE(link.find_and_open());
}

TEST(SimulationInProcessHost, AlternateIdentityIsFoundOnlyByTheFirmwareTool) {
    Simulation sim({1}, {1});
    common::FakeClock clock;
    InProcessHost host(sim, clock);
    Link standard(host, clock);
    standard.model_selector = 1;
    EXPECT_FALSE(standard.find_and_open());
    Link firmware(host, clock, hidlink::Program::firmware_tool);
    firmware.model_selector = 1;
    EXPECT_TRUE(firmware.find_and_open());
}

TEST(SimulationInProcessHost, KeymapWriteAndReadThroughTheLink) {
    Bench bench({1});
    Link link(bench.host, bench.clock);
    link.model_selector = 1;
    std::vector<std::uint8_t> keymap(192);
    for (std::size_t i = 0; i < keymap.size(); ++i) {
        keymap[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    hidlink::OutgoingTransfer transfer;
    transfer.command = 0x21;
    transfer.flag = 0;
    transfer.data = keymap;
    EXPECT_EQ(hidlink::send_transfer(link, transfer), hidlink::TransferResult::ok);
    EXPECT_EQ(bench.host.phase_events(),
              (std::vector<std::string>{"ZELDLStart", "ZELDLStart", "ZELDLEnd"}));

    std::vector<std::uint8_t> buffer(255);
    const std::uint64_t before = bench.clock.now_ms();
    ASSERT_TRUE(hidlink::receive_transfer(link, "KeyUpZEL",
                                          frame_of({0x00, 0x11, 0x02, 0x00, 0x13}), 6, buffer));
    EXPECT_TRUE(std::equal(keymap.begin(), keymap.end(), buffer.begin()));
    EXPECT_EQ(bench.clock.now_ms(), before);  // nothing waited: every reply was ready
    EXPECT_EQ(bench.host.open_devices(), 0);
}

TEST(SimulationInProcessHost, DelayedRepliesAdvanceTheClockOnlyAsFarAsNeeded) {
    Bench bench({1});
    Link link(bench.host, bench.clock);
    link.model_selector = 1;
    Frame reply{};

    bench.command("fault 1 delay 3000 on 01");
    std::uint64_t start = bench.clock.now_ms();
    EXPECT_EQ(hidlink::request_phase(link, "ZELGETMSR", get_msr_type, reply),
              hidlink::PhaseResult::accepted);
    EXPECT_EQ(bench.clock.now_ms() - start, 3000u);
    EXPECT_EQ(bench.host.cancels(), 0);

    // Later than the time-out: the read is cancelled at 5000 ms and the phase fails.
    bench.command("fault 1 delay 6000 on 01");
    start = bench.clock.now_ms();
    EXPECT_EQ(hidlink::request_phase(link, "ZELGETMSR", get_msr_type, reply),
              hidlink::PhaseResult::no_reply);
    EXPECT_GT(bench.clock.now_ms() - start, 5000u);
    EXPECT_LT(bench.clock.now_ms() - start, 5020u);
    EXPECT_EQ(bench.host.cancels(), 1);

    // A key map read that stops after 4 data frames fails by time-out.
    bench.command("fault 1 short 4");
    std::vector<std::uint8_t> buffer(255);
    start = bench.clock.now_ms();
    EXPECT_FALSE(hidlink::receive_transfer(link, "KeyUpZEL",
                                           frame_of({0x00, 0x11, 0x02, 0x00, 0x13}), 6, buffer));
    EXPECT_GT(bench.clock.now_ms() - start, 5000u);
    EXPECT_EQ(bench.host.cancels(), 2);
}

TEST(SimulationInProcessHost, RepliesBelongToTheHandleThatAskedAndDieWithIt) {
    Bench bench({1});
    std::unique_ptr<hidlink::Device> first = bench.host.open_device("sim:1");
    std::unique_ptr<hidlink::Device> second = bench.host.open_device("sim:1");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(bench.host.open_devices(), 2);
    first->begin_phase("ZELGETMSR");
    second->begin_phase("ZELGETMSR");

    ASSERT_EQ(first->start_write(get_msr_type), IoStatus::done);
    Frame on_second{};
    EXPECT_EQ(second->start_read(on_second), IoStatus::pending);
    EXPECT_FALSE(second->io_complete());
    second->cancel_io();

    Frame reply{};
    EXPECT_EQ(first->start_read(reply), IoStatus::done);
    EXPECT_TRUE(hidlink::accept_reply(reply));
    // The value frame is still queued on the first handle; closing it loses the frame.
    first.reset();
    first = bench.host.open_device("sim:1");
    first->begin_phase("ZELGETMSR");
    EXPECT_EQ(first->start_read(reply), IoStatus::pending);

    // A pending read completes once a later write's reply is due.
    bench.command("fault 1 delay 20 on 01");
    Frame late{};
    EXPECT_EQ(second->start_read(late), IoStatus::pending);
    ASSERT_EQ(second->start_write(get_msr_type), IoStatus::done);
    second->reset_event();
    EXPECT_FALSE(second->io_complete());
    second->wait_event(8);
    second->wait_event(8);
    EXPECT_FALSE(second->io_complete());
    second->wait_event(8);  // only 4 ms of it pass
    EXPECT_TRUE(second->io_complete());
    EXPECT_TRUE(hidlink::accept_reply(late));
}

TEST(SimulationInProcessHost, UnplugKillsOpenHandlesEvenAfterReplugging) {
    Bench bench({1});
    Link link(bench.host, bench.clock);
    link.model_selector = 1;

    // Unplugged by the frame itself: no reply, and the read fails without waiting.
    bench.command("fault 1 unplug on 01");
    Frame reply{};
    std::uint64_t start = bench.clock.now_ms();
    EXPECT_EQ(hidlink::request_phase(link, "ZELGETMSR", get_msr_type, reply),
              hidlink::PhaseResult::no_reply);
    EXPECT_EQ(bench.clock.now_ms(), start);
    EXPECT_EQ(hidlink::request_phase(link, "ZELGETMSR", get_msr_type, reply),
              hidlink::PhaseResult::no_device);

    // Answered first, then unplugged: the replies already sent can still be read.
    bench.command("plug 1");
    bench.command("fault 1 unplug-after on 01");
    std::unique_ptr<hidlink::Device> device = bench.host.open_device("sim:1");
    ASSERT_TRUE(device);
    device->begin_phase("ZELGETMSR");
    ASSERT_EQ(device->start_write(get_msr_type), IoStatus::done);
    EXPECT_EQ(device->start_read(reply), IoStatus::done);
    EXPECT_EQ(device->start_read(reply), IoStatus::done);
    EXPECT_TRUE(hidlink::is_value_frame(reply));
    EXPECT_EQ(device->start_read(reply), IoStatus::failed);

    // Plugged in again, the old handle stays dead; a new one works.
    bench.command("plug 1");
    EXPECT_EQ(device->start_write(get_msr_type), IoStatus::failed);
    EXPECT_EQ(hidlink::request_phase(link, "ZELGETMSR", get_msr_type, reply),
              hidlink::PhaseResult::accepted);
}

}  // namespace
}  // namespace simulator
