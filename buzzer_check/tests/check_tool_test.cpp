// The check tool's decisions: the messages it acts on and the order of a replay.
#include "buzzer_check/check_tool.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace buzzer_check {
namespace {

TEST(CheckTool, MessagesItActsOn) {
    struct Row {
        unsigned message;
        std::uintptr_t wparam;
        Action action;
    };
    const Row rows[] = {
        {device_change_message, 0x0007, Action::replay},  // DBT_DEVNODES_CHANGED
        {device_change_message, 0x8000, Action::replay},  // DBT_DEVICEARRIVAL
        {destroy_message, 0, Action::end_unless_clients},
        {end_session_message, 1, Action::quit},
        {end_session_message, 0, Action::none},  // the log-off was cancelled
        {0x0011, 1, Action::none},               // WM_QUERYENDSESSION
        {0x0010, 0, Action::none},               // WM_CLOSE
    };
    for (const Row& row : rows) {
        EXPECT_EQ(action_for(row.message, row.wparam), row.action) << row.message;
    }
}

TEST(CheckTool, ACopyStartedForAClientThatHasGoneEnds) {
    EXPECT_TRUE(clients_remain(true, 1));
    EXPECT_TRUE(clients_remain(true, 3));
    EXPECT_FALSE(clients_remain(true, 0));
    EXPECT_FALSE(clients_remain(false, 0));  // the last client unloaded: the block is gone
    EXPECT_FALSE(clients_remain(true, -1));
}

class RecordingLibrary : public Library {
  public:
    RecordingLibrary(bool loads, std::set<std::string> exports)
        : loads_(loads), exports_(std::move(exports)) {}
    bool load() override {
        calls.push_back("load");
        return loads_;
    }
    bool has_export(const char* name) override {
        calls.push_back(std::string("find ") + name);
        return exports_.count(name) > 0;
    }
    void wave_buzz_on(std::int32_t p, std::int32_t s) override {
        calls.push_back("WaveBuzzOn " + std::to_string(p) + " " + std::to_string(s));
    }
    void buzz_on(std::int32_t p, std::int32_t s) override {
        calls.push_back("BuzzOn " + std::to_string(p) + " " + std::to_string(s));
    }
    void set_key_click(std::int32_t c) override {
        calls.push_back("SetKEYClick " + std::to_string(c));
    }
    void free() override { calls.push_back("free"); }

    std::vector<std::string> calls;

  private:
    bool loads_;
    std::set<std::string> exports_;
};

TEST(CheckTool, ReplayBindsAllThreeOrCallsNothingAndAlwaysFreesWhatItLoaded) {
    struct Row {
        bool loads;
        std::set<std::string> exports;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {true,
         {"SetKEYClick", "WaveBuzzOn", "BuzzOn"},
         {"load", "find SetKEYClick", "find WaveBuzzOn", "find BuzzOn", "WaveBuzzOn 255 255",
          "BuzzOn 255 255", "SetKEYClick 255", "free"}},
        {true, {"SetKEYClick", "BuzzOn"}, {"load", "find SetKEYClick", "find WaveBuzzOn", "free"}},
        {true, {"WaveBuzzOn", "BuzzOn"}, {"load", "find SetKEYClick", "free"}},
        {false, {"SetKEYClick", "WaveBuzzOn", "BuzzOn"}, {"load"}},
    };
    for (const Row& row : rows) {
        RecordingLibrary library(row.loads, row.exports);
        replay_saved_settings(library);
        EXPECT_EQ(library.calls, row.calls);
    }
}

}  // namespace
}  // namespace buzzer_check
