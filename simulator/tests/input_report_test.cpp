// Input reports on request, and which decoys a read/write open reaches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "hidlink/link.h"
#include "simulator/inprocess_host.h"
#include "simulator/input_report.h"

namespace simulator {
namespace {

TEST(SimulationInputReport, CommandGivesAPaddedReportAndIsLoggedAsAFrameOut) {
    struct Case {
        const char* command;
        bool ok;
        int model;
        std::vector<std::uint8_t> head;
    };
    const Case cases[] = {
        {"report 3 00 01 08 01 05 00 12 34 9C",
         true,
         3,
         {0x00, 0x01, 0x08, 0x01, 0x05, 0x00, 0x12, 0x34, 0x9C}},
        {"  report 2 00,01,ff ", true, 2, {0x00, 0x01, 0xFF}},
        {"report 3", false, 0, {}},
        {"report 0 00", false, 0, {}},
        {"report 3 0 1", false, 0, {}},
        {"report 3 00 zz", false, 0, {}},
        {"report x 00", false, 0, {}},
    };
    for (const Case& c : cases) {
        int model = 0;
        hidlink::Frame report;
        report.fill(0xEE);
        std::string error;
        ASSERT_EQ(parse_input_report(c.command, model, report, error), c.ok) << c.command;
        EXPECT_TRUE(is_input_report_command(c.command)) << c.command;
        if (c.ok) {
            EXPECT_EQ(model, c.model);
            for (std::size_t i = 0; i < report.size(); ++i) {
                EXPECT_EQ(report[i], i < c.head.size() ? c.head[i] : 0) << c.command << " @" << i;
            }
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    std::string too_long = "report 3";
    for (int i = 0; i < 39; ++i) {
        too_long += " 00";
    }
    int model = 0;
    hidlink::Frame report{};
    std::string error;
    EXPECT_FALSE(parse_input_report(too_long, model, report, error));
    EXPECT_FALSE(is_input_report_command("reports 3 00"));
    EXPECT_FALSE(parse_input_report(",report 3 00", model, report, error));

    Simulation sim({3});
    std::vector<std::string> log;
    sim.set_log_sink([&](const std::string& line) { log.push_back(line); });
    ASSERT_TRUE(parse_input_report("report 3 00 01 08 01", model, report, error));
    ASSERT_TRUE(sim.input_report(3, report, 1500, error)) << error;
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(" 3 out 00 01 08 01 00"), std::string::npos) << log[0];
    EXPECT_FALSE(sim.input_report(2, report, 1500, error));
    ASSERT_TRUE(sim.apply_command("unplug 3", error));
    EXPECT_FALSE(sim.input_report(3, report, 1600, error));
}

TEST(SimulationInputReport, KeyboardCollectionsRefuseOpensAndTheConsumerDecoyMeetsTheUsageGate) {
    Simulation sim({1, 2});
    std::vector<int> ids;
    for (const InterfaceInfo& info : sim.interfaces()) {
        ids.push_back(info.id);
    }
    EXPECT_EQ(ids, (std::vector<int>{99, 11, 21, 1, 12, 2}));
    common::FakeClock clock;
    InProcessHost host(sim, clock);
    EXPECT_EQ(host.open_device("sim:11"), nullptr);
    EXPECT_EQ(host.open_device("sim:12"), nullptr);
    auto consumer = host.open_device("sim:21");
    ASSERT_NE(consumer, nullptr);
    hidlink::Capabilities caps;
    ASSERT_TRUE(consumer->capabilities(caps));
    EXPECT_EQ(caps.usage_page, 0x000C);
    consumer.reset();

    hidlink::Link link(host, clock);
    link.model_selector = 1;
    const int before = host.opens();
    ASSERT_TRUE(link.find_and_open());
    EXPECT_EQ(link.capabilities().usage_page, 0xFF01);
    EXPECT_EQ(host.opens() - before, 3);  // 99, 21 (turned away by its usage), 1
    link.close();
}

}  // namespace
}  // namespace simulator
