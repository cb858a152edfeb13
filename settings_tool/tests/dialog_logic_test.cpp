// The settings dialog's decisions: the probe, the messages, the model views, the Apply button.
#include "settings_tool/dialog_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/inprocess_host.h"
#include "simulator/simulation.h"

namespace settings_tool {
namespace {

// The in-process keyboards, noting the link's model selector at every discovery.
class ProbeHost : public simulator::InProcessHost {
  public:
    using InProcessHost::InProcessHost;
    bool open_interface_list() override {
        if (link != nullptr) {
            selectors.push_back(link->model_selector);
        }
        return InProcessHost::open_interface_list();
    }
    hidlink::Link* link = nullptr;
    std::vector<int> selectors;
};

struct Probe {
    explicit Probe(std::vector<int> models, std::vector<std::string> commands = {})
        : simulation(std::move(models)) {
        for (const std::string& text : commands) {
            std::string error;
            EXPECT_TRUE(simulation.apply_command(text, error)) << error;
        }
        simulation.set_log_sink([this](const std::string& line) {
            gets += line.find(" in 00 01 02 ") != std::string::npos;
        });
        host.link = &link;
    }
    simulator::Simulation simulation;
    common::FakeClock clock;
    ProbeHost host{simulation, clock};
    hidlink::Link link{host, clock};
    SettingsSession session{link};
    int gets = 0;
};

TEST(SettingsDialogProbe, TriesReedThenLarchThenSparrow) {
    // Nothing attached but another vendor's device: no frame is sent, so only the
    // discoveries show the order.
    Probe none({1}, {"unplug 1"});
    EXPECT_EQ(probe_models(none.session), get_not_found);
    EXPECT_EQ(none.host.selectors, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(none.host.opens(), 3);  // the other vendor's device, once per model tried
    EXPECT_EQ(none.gets, 0);

    // Only a Larch keyboard: found second, with its two items read.
    Probe larch({3});
    EXPECT_EQ(probe_models(larch.session), 0u);
    EXPECT_EQ(larch.session.model_selector, larch_selector);
    EXPECT_EQ(larch.host.selectors, (std::vector<int>{2, 3}));
    EXPECT_EQ(larch.gets, 2);

    // A Larch and a Sparrow: the Larch comes first in the order.
    Probe both({1, 3});
    probe_models(both.session);
    EXPECT_EQ(both.session.model_selector, larch_selector);

    // A found model with a failed item is still the one found.
    Probe reed({2, 1}, {"fault 2 nak on 01:01"});
    EXPECT_EQ(probe_models(reed.session), get_msr_type_failed);
    EXPECT_EQ(reed.session.model_selector, reed_selector);
}

TEST(SettingsDialogMessages, ReadFailuresInOrderAndWriteResults) {
    const Messages& en = messages_for(false);
    const Messages& ja = messages_for(true);
    using Texts = std::vector<std::string>;
    auto texts = [](std::uint32_t result, const Messages& m) {
        Texts shown;
        for (const char* text : read_failure_messages(result, m)) {
            shown.push_back(text);
        }
        return shown;
    };
    EXPECT_EQ(texts(0, en), Texts{});
    EXPECT_EQ(texts(get_not_found, en), Texts{});  // shown by itself, not per item
    EXPECT_EQ(
        texts(get_op_key_failed | get_key_input_failed | get_msr_type_failed, en),
        (Texts{"MSR Data get Fail!", "Key Input setting get Fail!", "OP Key setting get Fail!"}));
    EXPECT_EQ(
        texts(0x11110, ja),
        (Texts{"MSRデータ取得に失敗しました。", "Key Lockoutデータ取得に失敗しました。",
               "キーボード入力設定取得に失敗しました。", "OP Keyの設定の取得に失敗しました。"}));

    EXPECT_EQ(write_result_message(set_ok, en), nullptr);
    EXPECT_STREQ(write_result_message(set_not_found, en), "Device is not found!");
    EXPECT_STREQ(write_result_message(set_failed, en), "Data set Fail!");
    EXPECT_STREQ(write_result_message(set_failed, ja), "設定に失敗しました。");
    EXPECT_STREQ(ja.not_found, "デバイスを発見できませんでした。");
}

TEST(SettingsDialogView, WhatEachModelShows) {
    SettingsValues read;  // as a Sparrow might answer
    read.msr_type = 5;
    read.key_lockout = 2;
    read.op_key = 0;
    read.key_input = 3;
    SettingsValues initial;
    SettingsValues unplugged_op_key = initial;
    unplugged_op_key.op_key = 255;
    unplugged_op_key.key_input = 0;
    const std::uint32_t lockout = get_key_lockout_failed, input = get_key_input_failed,
                        op = get_op_key_failed;
    const struct {
        std::int16_t selector;
        SettingsValues values;
        std::uint32_t unread;
        ModelView view;  // button, MSR, lockout on/roll-over, OP on/ticked, input on/ticked
    } cases[] = {
        {1, read, 0, {1, "Not connection ", true, true, true, true, true, true}},
        {1, initial, 0, {1, "JIS 1/2", true, false, true, true, true, true}},
        {1, unplugged_op_key, 0, {1, "JIS 1/2", true, false, true, false, true, false}},
        {2, read, 0, {2, "Not connection ", true, true, false, false, true, true}},
        {3, read, 0, {3, "Not connection ", true, true, false, false, false, false}},
        // An item whose read failed keeps its value on screen, its controls disabled; the
        // MSR type has no control, and items the model lacks stay disabled and clear.
        {1,
         read,
         get_msr_type_failed | lockout | op,
         {1, "Not connection ", false, true, false, true, true, true}},
        {1, initial, input, {1, "JIS 1/2", true, false, true, true, false, true}},
        {2,
         read,
         lockout | input | op,
         {2, "Not connection ", false, true, false, false, false, true}},
        {3, read, input | op, {3, "Not connection ", true, true, false, false, false, false}},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::Message() << entry.selector << " unread " << entry.unread);
        ModelView view = model_view(entry.selector, entry.values, entry.unread);
        EXPECT_EQ(view.model_button, entry.view.model_button);
        EXPECT_STREQ(view.msr_text, entry.view.msr_text);
        EXPECT_EQ(view.key_lockout_enabled, entry.view.key_lockout_enabled);
        EXPECT_EQ(view.roll_over, entry.view.roll_over);
        EXPECT_EQ(view.op_key_enabled, entry.view.op_key_enabled);
        EXPECT_EQ(view.op_key_ticked, entry.view.op_key_ticked);
        EXPECT_EQ(view.key_input_enabled, entry.view.key_input_enabled);
        EXPECT_EQ(view.typematic_ticked, entry.view.typematic_ticked);
    }
    const struct {
        std::uint16_t value;
        const char* text;
    } msr[] = {
        {3, "JIS 1/2"}, {4, "ISO 1/2/3"}, {0, "Not connection "}, {0x104, "Not connection "}};
    for (const auto& entry : msr) {
        EXPECT_STREQ(msr_type_text(entry.value), entry.text);
    }
}

}  // namespace
}  // namespace settings_tool
