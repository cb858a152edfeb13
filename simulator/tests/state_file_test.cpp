// The state file: a faithful round trip, saving on change, and clear rejection of bad files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "simulator/simulation.h"
#include "simulator/state_file.h"
#include "simulator/tests/test_frames.h"

namespace simulator {
namespace {

using testing::frame_of;
using testing::send;

std::vector<KeyboardState> initial_states() {
    return {initial_state(1), initial_state(2), initial_state(3), initial_state(4)};
}

// A scratch folder per test, removed afterwards.
class StateFolder {
  public:
    StateFolder() {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ =
            std::filesystem::temp_directory_path() / (std::string("kbdsim-state-") + test->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~StateFolder() { std::filesystem::remove_all(path_); }
    std::string file(const char* name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string read_file(const std::string& path) {
    std::string text;
    std::string error;
    EXPECT_TRUE(read_text_file(path, text, error)) << error;
    return text;
}

TEST(SimulationStateFile, EveryKeptValueSurvivesARoundTrip) {
    std::vector<KeyboardState> states = initial_states();
    KeyboardState& sparrow = states[0];
    for (std::size_t i = 0; i < sparrow.keymap.size(); ++i) {
        sparrow.keymap[i] = static_cast<std::uint8_t>(255 - i);
    }
    sparrow.settings[item_op_key] = 0;
    sparrow.settings[item_key_lockout] = 2;
    // Dates as the tools may send them: short texts padded with zero bytes, odd characters.
    sparrow.keymap_date = {'2', '0', '1', '1', 0, 0, 0, 0, 0, 0};
    sparrow.firmware_date = {'"', '\\', 0x82, 0xA0, 'x', '#', '=', ' ', ';', 0x7F};
    sparrow.click = 2;
    sparrow.buzzer = BuzzerState{true, 4, 1};
    sparrow.plugged = false;
    KeyboardState& larch = states[2];
    larch.firmware_image[0] = 0x12;
    larch.firmware_image[0x8020] = 0x00;
    larch.firmware_image[0xFFFF] = 0x34;
    larch.firmware_blocks = 2048;
    larch.version = {0x10, 0x05};

    std::string text = format_state(states);
    std::vector<KeyboardState> loaded = initial_states();
    std::string error;
    ASSERT_TRUE(parse_state(text, loaded, error)) << error;
    EXPECT_EQ(loaded, states);
    // Only the firmware rows that differ from an erased image are written.
    EXPECT_NE(text.find("firmware = 8020: 00 FF"), std::string::npos);
    EXPECT_NE(text.find("keymap-date = \"2011\\x00"), std::string::npos);
}

TEST(SimulationStateFile, SimulationSavesAfterEveryChangeAndLoadsItBack) {
    StateFolder folder;
    const std::string path = folder.file("state.ini");
    {
        Simulation sim({1, 2});
        std::string error;
        ASSERT_TRUE(sim.open_state_file(path, error)) << error;  // created at once
        EXPECT_EQ(read_file(path), sim.state_text());

        send(sim, 1, frame_of({0x00, 0x02, 0x03, 0x01, 0x01, 0x07}));  // key click 1
        EXPECT_NE(read_file(path).find("click = 1"), std::string::npos);
        ASSERT_TRUE(sim.apply_command("unplug 2", error)) << error;
        EXPECT_NE(read_file(path).find("[model 2]\nplugged = no"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    }
    Simulation again({1, 2});
    std::string error;
    ASSERT_TRUE(again.open_state_file(path, error)) << error;
    EXPECT_EQ(again.keyboard_state(1)->click, 1);
    EXPECT_FALSE(again.keyboard_state(2)->plugged);
    EXPECT_FALSE(again.find_interface(2)->plugged);
    EXPECT_FALSE(again.find_interface(keyboard_collection_id(2))->plugged);
}

TEST(SimulationStateFile, TestsCanPrepareAKeyboardByHand) {
    StateFolder folder;
    const std::string path = folder.file("prepared.ini");
    std::string erased_keymap;
    for (int i = 0; i < 160; ++i) {
        erased_keymap += " FF";
    }
    std::ofstream(path) << "# a ReedKey PAD with its key map erased, and a Larch\r\n"
                           "[model 2]\r\n"
                           "keymap ="
                        << erased_keymap
                        << "\r\n"
                           "msr-type = 5\r\n"
                           "\r\n"
                           "[model 3]\r\n"
                           "key-lockout = 0\r\n";
    Simulation sim({1, 2});  // no Larch present: its section is ignored
    std::string error;
    ASSERT_TRUE(sim.load_state(path, error)) << error;
    EXPECT_EQ(sim.keyboard_state(2)->keymap, std::vector<std::uint8_t>(160, 0xFF));
    EXPECT_EQ(sim.keyboard_state(2)->settings.at(item_msr_type), 5);
    EXPECT_EQ(*sim.keyboard_state(1), initial_state(1));
    std::vector<hidlink::Frame> msr = send(sim, 2, frame_of({0x00, 0x01, 0x02, 0x01, 0x04}));
    ASSERT_EQ(msr.size(), 2u);
    EXPECT_EQ(msr[1][4], 5);
}

TEST(SimulationStateFile, SetCommandTakesAnyKeyWithOrWithoutEquals) {
    Simulation sim({1, 2});
    std::string error;
    for (const char* text : {"set 2 msr-type = 5", "set 2 key-lockout 0", "set 1 key-input=1",
                             "set 1 keymap-date \"2011=01=02\"",
                             "set 1 firmware-date = \"a = b = cd\"", "  set 2 buzzer = 2 0\r\n"}) {
        EXPECT_TRUE(sim.apply_command(text, error)) << text << ": " << error;
    }
    const KeyboardState& reed = *sim.keyboard_state(2);
    EXPECT_EQ(reed.settings.at(item_msr_type), 5);
    EXPECT_EQ(reed.settings.at(item_key_lockout), 0);
    EXPECT_EQ(reed.buzzer, (BuzzerState{true, 2, 0}));
    const KeyboardState& sparrow = *sim.keyboard_state(1);
    EXPECT_EQ(sparrow.settings.at(item_key_input), 1);
    const std::string keymap_date(sparrow.keymap_date.begin(), sparrow.keymap_date.end());
    const std::string firmware_date(sparrow.firmware_date.begin(), sparrow.firmware_date.end());
    EXPECT_EQ(keymap_date, "2011=01=02");
    EXPECT_EQ(firmware_date, "a = b = cd");

    EXPECT_FALSE(sim.apply_command("set 1 key-lockout", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(sim.keyboard_state(1)->settings.at(item_key_lockout), 1);
}

TEST(SimulationStateFile, BadFilesAreRejectedWithTheLineAndNothingChanges) {
    struct Case {
        const char* text;
        const char* error_part;
    };
    const Case cases[] = {
        {"[model 1]\nkeymap = 00 01\n", "keymap needs 192 bytes, got 2"},
        {"[model 1]\nkeymap = 00 0G\n", "line 2: keymap needs hex bytes"},
        {"[model 3]\nkeymap = 00\n", "line 2: model 3 has no key map"},
        {"[model 2]\nop-key = 1\n", "line 2: model 2 has no op-key"},
        {"[model 1]\nkey-lockout = 256\n", "key-lockout needs a number 0 to 255"},
        {"[model 1]\ncolour = red\n", "line 2: unknown key: colour"},
        {"[model 1]\nplugged = maybe\n", "plugged needs yes or no"},
        {"[model 1]\nkeymap-date = 2011-01-01\n", "keymap-date needs ten characters"},
        {"[model 1]\nkeymap-date = \"2011-01-0\"\n", "keymap-date needs ten characters"},
        {"[model 1]\nkeymap-date = \"2011-01-0\\x4\"\n", "keymap-date needs ten characters"},
        {"[model 1]\nversion = 01\n", "version needs two hex bytes"},
        {"[model 1]\nbuzzer = on\n", "buzzer needs off or"},
        {"[model 1]\nfirmware = 0010: FF\n", "firmware needs a row"},
        {"[model 1]\nfirmware-blocks = 2049\n", "firmware-blocks needs a number"},
        {"[model 1]\nfirmware-sum = 0001\n", "does not match the firmware image"},
        {"plugged = yes\n", "line 1: key before the first [model N] section"},
        {"[model 5]\n", "line 1: a section header"},
        {"[model 1\n", "line 1: a section header"},
        {"[]\n", "line 1: a section header"},
        {"[model 1]\n[model 1]\n", "line 2: second section for model 1"},
        {"[model 1]\njust words\n", "line 2: expected key = value"},
        {"[model 1]\nclick = on\n", "click needs off or a number"},
        {"\xEF\xBB\xBF\x01\x02\n", "line 1: expected key = value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<KeyboardState> states = initial_states();
        std::string error;
        EXPECT_FALSE(parse_state(c.text, states, error));
        EXPECT_NE(error.find(c.error_part), std::string::npos) << error;
        EXPECT_EQ(states, initial_states());
    }

    // A good key before the bad line does not stick either.
    std::vector<KeyboardState> states = initial_states();
    std::string error;
    EXPECT_FALSE(parse_state("[model 1]\nclick = 1\nclick = loud\n", states, error));
    EXPECT_EQ(states[0].click, -1);
}

TEST(SimulationStateFile, MissingOrUnwritableFilesAreReportedNotFatal) {
    StateFolder folder;
    Simulation sim({1});
    std::string error;
    EXPECT_FALSE(sim.load_state(folder.file("missing.ini"), error));
    EXPECT_NE(error.find("missing.ini"), std::string::npos);

    std::ofstream(folder.file("bad.ini"), std::ios::binary) << "[model 1]\nclick = loud\n";
    EXPECT_FALSE(sim.open_state_file(folder.file("bad.ini"), error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_EQ(read_file(folder.file("bad.ini")), "[model 1]\nclick = loud\n");  // not overwritten

    std::vector<std::string> lines;
    sim.set_log_sink([&lines](const std::string& line) { lines.push_back(line); });
    sim.set_state_path(folder.file("no-such-folder/state.ini"));
    EXPECT_FALSE(sim.save_error().empty());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("event state not saved"), std::string::npos);
}

}  // namespace
}  // namespace simulator
