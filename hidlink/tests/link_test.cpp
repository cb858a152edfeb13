#include "hidlink/link.h"

#include <gtest/gtest.h>

#include "hidlink/tests/scripted_host.h"

namespace hidlink {
namespace {

using testing::keyboard_interface;
using testing::ScriptedHost;
using testing::ScriptedInterface;
using testing::TimedReply;

constexpr Identity sparrow{ids::vendor_id, ids::sparrow_product_id};
constexpr Identity reed{ids::vendor_id, ids::reed_product_id};
constexpr Identity larch{ids::vendor_id, ids::larch_product_id};
constexpr Identity reed_msr{ids::vendor_id, ids::reed_msr_product_id};
constexpr Identity alternate{ids::alternate_vendor_id, ids::alternate_product_id};

class LinkTest : public ::testing::Test {
  protected:
    common::FakeClock clock;
    ScriptedHost host{clock};

    std::string open_path(Link& link) {
        if (!link.find_and_open()) {
            return "";
        }
        std::string path = host.opened_paths.back();
        link.close();
        return path;
    }
};

TEST_F(LinkTest, OpensOnlyTheInterfaceOfTheSelectedModel) {
    host.interfaces = {keyboard_interface("reed", reed), keyboard_interface("sparrow", sparrow)};
    Link link(host, clock);
    link.model_selector = 1;
    EXPECT_EQ(open_path(link), "sparrow");
    link.model_selector = 2;
    EXPECT_EQ(open_path(link), "reed");
    link.model_selector = 3;
    EXPECT_EQ(open_path(link), "");
    EXPECT_EQ(host.open_devices, 0);
    EXPECT_EQ(host.list_opens, host.list_closes);
}

TEST_F(LinkTest, IdentityTableDiffersOnlyInTheFirmwareTool) {
    host.interfaces = {keyboard_interface("sparrow", sparrow), keyboard_interface("reed", reed),
                       keyboard_interface("larch", larch), keyboard_interface("msr", reed_msr),
                       keyboard_interface("alternate", alternate)};
    Link tool(host, clock);
    Link firmware(host, clock, Program::firmware_tool);
    const std::pair<int, const char*> standard_rows[] = {{1, "sparrow"}, {2, "reed"}, {3, "larch"},
                                                         {4, "reed"},    {0, "reed"}, {-7, "reed"}};
    for (auto [selector, path] : standard_rows) {
        tool.model_selector = static_cast<std::int16_t>(selector);
        EXPECT_EQ(open_path(tool), path) << "selector " << selector;
    }
    const std::pair<int, const char*> firmware_rows[] = {
        {1, "alternate"}, {2, "reed"}, {3, "larch"}, {4, "msr"}, {9, "reed"}};
    for (auto [selector, path] : firmware_rows) {
        firmware.model_selector = static_cast<std::int16_t>(selector);
        EXPECT_EQ(open_path(firmware), path) << "selector " << selector;
    }
}

TEST_F(LinkTest, SkipsInterfacesThatFailAnyGateAndGoesOn) {
    ScriptedInterface standard_keyboard = keyboard_interface("keyboard-collection", sparrow);
    standard_keyboard.caps.usage_page = 0x0001;
    standard_keyboard.caps.usage = 0x0006;
    ScriptedInterface other_usage = keyboard_interface("usage-2", sparrow);
    other_usage.caps.usage = 2;
    ScriptedInterface lookup_error = keyboard_interface("lookup-error", sparrow);
    lookup_error.lookup_error = true;
    ScriptedInterface open_fails = keyboard_interface("open-fails", sparrow);
    open_fails.open_fails = true;
    ScriptedInterface no_preparsed = keyboard_interface("no-preparsed", sparrow);
    no_preparsed.preparsed_fails = true;
    ScriptedInterface no_attributes = keyboard_interface("no-attributes", sparrow);
    no_attributes.attributes_fail = true;
    ScriptedInterface bad_caps = keyboard_interface("bad-caps", sparrow);
    bad_caps.caps.button_caps[0] = 1;
    bad_caps.buttons[0] = {{vendor_usage_page, 0, false, 1, 1}};
    bad_caps.button_caps_fail = true;
    host.interfaces = {
        standard_keyboard, other_usage,   lookup_error, open_fails,
        no_preparsed,      no_attributes, bad_caps,     keyboard_interface("good", sparrow)};

    Link link(host, clock);
    link.model_selector = 1;
    ASSERT_TRUE(link.find_and_open());
    EXPECT_EQ(host.opened_paths.back(), "good");
    EXPECT_EQ(host.open_devices, 1);  // every rejected interface was closed again
    EXPECT_EQ(link.capabilities().usage_page, vendor_usage_page);
    link.close();
    EXPECT_EQ(host.open_devices, 0);
}

TEST_F(LinkTest, CapabilityParseListsButtonsAndEveryUsageOfAValueRange) {
    ScriptedInterface i = keyboard_interface("sparrow", sparrow);
    i.caps.button_caps[0] = 1;
    i.buttons[0] = {{0x0009, 3, true, 1, 8}};
    i.caps.value_caps[0] = 2;
    i.values[0] = {{vendor_usage_page, 0, true, 4, 6}, {vendor_usage_page, 1, false, 9, 9}};
    i.caps.report_length[2] = 5;
    host.interfaces = {i};

    Link link(host, clock);
    link.model_selector = 1;
    ASSERT_TRUE(link.find_and_open());
    const ReportKindData& input = link.report_kind(ReportKind::input);
    ASSERT_EQ(input.usage_data.size(), 5u);
    EXPECT_TRUE(input.usage_data[0].is_button);
    EXPECT_EQ(input.usage_data[0].usage_min, 1u);
    EXPECT_EQ(input.usage_data[0].usage_max, 8u);
    EXPECT_EQ(input.usage_data[0].report_id, 3u);
    EXPECT_EQ(input.usage_data[0].usages.size(), 4u);
    EXPECT_EQ(input.usage_data[0].status, hidp_status_success);
    EXPECT_EQ(input.usage_data[1].usage, 4);
    EXPECT_EQ(input.usage_data[2].usage, 5);
    EXPECT_EQ(input.usage_data[3].usage, 6);
    EXPECT_EQ(input.usage_data[4].usage, 9);
    EXPECT_EQ(input.report_buffer.size(), 38u);
    EXPECT_EQ(link.report_kind(ReportKind::feature).report_buffer.size(), 5u);

    link.close();
    EXPECT_TRUE(link.report_kind(ReportKind::input).usage_data.empty());
    EXPECT_EQ(link.capabilities().usage_page, 0);
}

TEST_F(LinkTest, CapabilityParseRejectsRecordsItCannotList) {
    ScriptedInterface extra = keyboard_interface("extra", sparrow);
    extra.values[0].push_back({vendor_usage_page, 0, false, 3, 3});  // more than announced
    ScriptedInterface inverted = keyboard_interface("inverted", sparrow);
    inverted.values[1] = {{vendor_usage_page, 0, true, 5, 2}};
    host.interfaces = {extra, inverted};
    Link link(host, clock);
    link.model_selector = 1;
    EXPECT_FALSE(link.find_and_open());
    EXPECT_EQ(host.open_devices, 0);
    EXPECT_TRUE(link.report_kind(ReportKind::input).usage_data.empty());
}

TEST_F(LinkTest, CloseIsHarmlessWhenNothingIsOpen) {
    Link link(host, clock);
    link.close();
    EXPECT_FALSE(link.find_and_open());
    link.close();
    link.close();
    EXPECT_FALSE(link.is_open());
    Frame reply;
    link.write_frame(Frame{}, default_timeout_ms);
    EXPECT_FALSE(link.read_frame(reply, default_timeout_ms));
}

class LinkWaitTest : public LinkTest {
  protected:
    void SetUp() override {
        host.interfaces = {keyboard_interface("sparrow", sparrow)};
        link.model_selector = 1;
        ASSERT_TRUE(link.find_and_open());
        link.begin_phase("KeyUpZEL");
    }
    Link link{host, clock};
};

TEST_F(LinkWaitTest, ReadThatNeverCompletesEndsJustAfterTheTimeOutWithACancel) {
    for (std::uint32_t timeout : {default_timeout_ms, settings_timeout_ms}) {
        int cancels_before = host.cancels;
        std::uint64_t start = clock.now_ms();
        Frame reply;
        reply.fill(0xEE);
        EXPECT_FALSE(link.read_frame(reply, timeout));
        std::uint64_t waited = clock.now_ms() - start;
        EXPECT_GT(waited, timeout);
        EXPECT_LE(waited, timeout + poll_interval_ms);
        EXPECT_EQ(host.cancels, cancels_before + 1);
        EXPECT_EQ(reply, Frame{});  // zero-filled, nothing half-read
    }
    EXPECT_EQ(host.phase_events, std::vector<std::string>{"KeyUpZEL"});
}

TEST_F(LinkWaitTest, WaitEndsAsSoonAsTheReplyArrivesNotAtTheNextPoll) {
    Frame ack = make_frame(0x11, {});
    host.respond = [&](const Frame&) { return std::vector<TimedReply>{{ack, 3}}; };
    link.write_frame(make_frame(0x11, {}), default_timeout_ms);
    std::uint64_t start = clock.now_ms();
    Frame reply;
    ASSERT_TRUE(link.read_frame(reply, default_timeout_ms));
    EXPECT_EQ(clock.now_ms() - start, 3u);
    EXPECT_EQ(reply, ack);
    EXPECT_EQ(host.cancels, 0);
}

TEST_F(LinkWaitTest, ReplyJustInsideTheTimeOutIsTakenOneJustOutsideIsNot) {
    Frame ack = make_frame(0x20, {});
    host.respond = [&](const Frame&) { return std::vector<TimedReply>{{ack, 50000}}; };
    link.write_frame(make_frame(0x20, {}), default_timeout_ms);
    Frame reply;
    EXPECT_TRUE(link.read_frame(reply, firmware_start_reply_timeout_ms));

    host.respond = [&](const Frame&) { return std::vector<TimedReply>{{ack, 52000}}; };
    link.write_frame(make_frame(0x20, {}), default_timeout_ms);
    EXPECT_FALSE(link.read_frame(reply, firmware_start_reply_timeout_ms));
}

TEST_F(LinkWaitTest, WaitAcrossThe32BitTickWrapStillLastsTheWholeTimeOut) {
    clock.advance((std::uint64_t{1} << 32) - clock.now_ms() - 100);
    std::uint64_t start = clock.now_ms();
    Frame reply;
    EXPECT_FALSE(link.read_frame(reply, default_timeout_ms));
    EXPECT_GT(clock.now_ms() - start, default_timeout_ms);
}

TEST_F(LinkWaitTest, WriteThatNeverCompletesIsCancelledAndTheReadDecides) {
    host.writes_stay_pending = true;
    std::uint64_t start = clock.now_ms();
    link.write_frame(make_frame(0x11, {}), default_timeout_ms);
    EXPECT_GT(clock.now_ms() - start, default_timeout_ms);
    EXPECT_EQ(host.cancels, 1);
}

}  // namespace
}  // namespace hidlink
