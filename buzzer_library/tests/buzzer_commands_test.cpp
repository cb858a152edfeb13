// The six commands against the in-process simulated keyboards: the frames each keyboard
// receives, in order, and what stays saved, for the edge cases integrators and the check tool
// rely on.
#include "buzzer_library/buzzer_commands.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/frame_log.h"
#include "simulator/inprocess_host.h"
#include "simulator/simulation.h"

namespace buzzer_library {
namespace {

// A program in C:\POS whose "ReedBeep.ini" the test writes or removes.
class FakePlatform : public Platform {
  public:
    std::string executable_path() override { return "C:\\POS\\till.exe"; }
    bool file_exists(const std::string& path) override { return files.count(path) > 0; }
    int profile_int(const std::string& path, const char* section, const char* key,
                    int default_value) override {
        auto file = files.find(path);
        if (file == files.end() || file->second.count(std::string(section) + "/" + key) == 0) {
            return default_value;
        }
        return file->second.at(std::string(section) + "/" + key);
    }
    void play_wave(const char* file_name, bool loop) override {
        sounds.push_back(std::string(file_name) + (loop ? " loop" : " once"));
    }
    void stop_sounds() override { sounds.push_back("stop"); }

    std::map<std::string, std::map<std::string, int>> files;
    std::vector<std::string> sounds;
};

constexpr const char* ini_path = "C:\\POS\\ReedBeep.ini";
constexpr int no_file = -1;
constexpr int file_without_key = -2;

enum class Op { buzz_on, buzz_off, click, no_click, wave_on, wave_off, ini, sim };

struct Step {
    Op op;
    int a = 0;
    int b = 0;
    const char* text = "";  // Op::sim: a simulator command
};

Step BuzzOn(int p, int s) {
    return {Op::buzz_on, p, s};
}
Step BuzzOff() {
    return {Op::buzz_off};
}
Step SetKEYClick(int c) {
    return {Op::click, c};
}
Step DisKEYClick() {
    return {Op::no_click};
}
Step WaveBuzzOn(int p, int s) {
    return {Op::wave_on, p, s};
}
Step WaveBuzzOff() {
    return {Op::wave_off};
}
Step Ini(int select_sound) {
    return {Op::ini, select_sound};
}
Step Sim(const char* command) {
    return {Op::sim, 0, 0, command};
}

constexpr int none = nothing_saved;

struct Saved {
    int click = none, buzz_pattern = none, buzz_sound = none, wave_pattern = none,
        wave_sound = none;
    bool operator==(const Saved&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Saved& s) {
    return out << "click " << s.click << ", buzz " << s.buzz_pattern << "/" << s.buzz_sound
               << ", wave " << s.wave_pattern << "/" << s.wave_sound;
}

struct Case {
    const char* name;
    std::vector<int> models;
    std::vector<Step> steps;
    std::vector<std::string> frames;  // "<model>: <bytes>", every frame the keyboards received
    Saved saved;
    std::vector<std::string> sounds = {};
};

const Case cases[] = {
    {"lasting buzz is sent and saved",
     {1, 2},
     {BuzzOn(1, 0)},
     {"1: 00 04 03 02 00 09"},
     {.buzz_pattern = 1, .buzz_sound = 0}},
    {"replay resends the saved buzz and saves nothing new",
     {1, 2},
     {BuzzOn(2, 2), BuzzOn(0, 255)},
     {"1: 00 04 03 04 02 0D", "1: 00 04 03 04 02 0D"},
     {.buzz_pattern = 2, .buzz_sound = 2}},
    {"one-shot buzz clears the saved buzz",
     {1, 2},
     {BuzzOn(2, 2), BuzzOn(0, 1)},
     {"1: 00 04 03 04 02 0D", "1: 00 04 03 01 01 09"},
     {}},
    {"pattern 255 with a sound acts as a one-shot",
     {1, 2},
     {BuzzOn(1, 2), BuzzOn(255, 0)},
     {"1: 00 04 03 02 02 0B", "1: 00 04 03 01 00 08"},
     {}},
    {"replay with nothing saved touches nothing",
     {1, 2},
     {BuzzOn(1, 255), SetKEYClick(255), WaveBuzzOn(2, 255)},
     {},
     {}},
    {"bad arguments touch nothing",
     {1, 2},
     {BuzzOn(3, 0), BuzzOn(1, 3), BuzzOn(-1, 0), BuzzOn(0, 256), BuzzOn(0x10001, 1), SetKEYClick(3),
      SetKEYClick(-255), WaveBuzzOn(0, 7), WaveBuzzOn(254, 0)},
     {},
     {}},
    {"buzz without a Sparrow saves nothing", {2}, {BuzzOn(1, 1), BuzzOn(0, 255)}, {}, {}},
    {"buzz off without a keyboard forgets the buzz, so the replug replays nothing",
     {1, 2},
     {BuzzOn(2, 1), Sim("unplug 1"), BuzzOff(), Sim("plug 1"), BuzzOn(0, 255)},
     {"1: 00 04 03 04 01 0C"},
     {}},
    {"buzz off is sent and clears",
     {1, 2},
     {BuzzOn(1, 1), BuzzOff(), BuzzOn(0, 255)},
     {"1: 00 04 03 02 01 0A", "1: 00 05 02 00 07"},
     {}},
    {"negative and missing replies still save",
     {1, 2},
     {Sim("fault 1 nak on 04"), BuzzOn(1, 2), Sim("fault 2 silent always"), SetKEYClick(0)},
     {"1: 00 04 03 02 02 0B", "2: 00 02 03 01 00 06", "1: 00 02 03 01 00 06"},
     {.click = 0, .buzz_pattern = 1, .buzz_sound = 2}},
    {"click with only the Sparrow sends one frame",
     {1},
     {SetKEYClick(2)},
     {"1: 00 02 03 01 02 08"},
     {.click = 2}},
    {"click replay goes to the pad, then the Sparrow",
     {1, 2},
     {SetKEYClick(1), SetKEYClick(255)},
     {"2: 00 02 03 01 01 07", "1: 00 02 03 01 01 07", "2: 00 02 03 01 01 07",
      "1: 00 02 03 01 01 07"},
     {.click = 1}},
    {"click without any keyboard keeps the old setting",
     {3},
     {SetKEYClick(2), DisKEYClick(), SetKEYClick(255)},
     {},
     {}},
    {"click off goes to both and clears",
     {2, 1},
     {SetKEYClick(1), DisKEYClick(), SetKEYClick(255)},
     {"2: 00 02 03 01 01 07", "1: 00 02 03 01 01 07", "2: 00 03 02 00 05", "1: 00 03 02 00 05"},
     {}},
    {"click off with one keyboard away reaches the other and forgets the click",
     {1, 2},
     {SetKEYClick(1), Sim("unplug 2"), DisKEYClick(), Sim("plug 2"), SetKEYClick(255)},
     {"2: 00 02 03 01 01 07", "1: 00 02 03 01 01 07", "1: 00 03 02 00 05"},
     {}},
    {"click off with no keyboard at all forgets the click",
     {1, 2},
     {SetKEYClick(2), Sim("unplug 1"), Sim("unplug 2"), DisKEYClick(), Sim("plug 1"), Sim("plug 2"),
      SetKEYClick(255)},
     {"2: 00 02 03 01 02 08", "1: 00 02 03 01 02 08"},
     {}},
    {"wave buzz without a selection file sounds the pad and saves",
     {1, 2},
     {WaveBuzzOn(1, 0), WaveBuzzOn(0, 255)},
     {"2: 00 04 03 02 00 09", "2: 00 04 03 02 00 09"},
     {.wave_pattern = 1, .wave_sound = 0}},
    {"wave files when the file selects 0",
     {1, 2},
     {Ini(0), WaveBuzzOn(2, 1), WaveBuzzOn(0, 2), WaveBuzzOn(1, 255), WaveBuzzOn(255, 0)},
     {},
     {},
     {"TvBz12A.wav loop", "TvBz24B.wav once", "TvBz06B.wav loop"}},
    {"wave files when the file lacks the key",
     {1, 2},
     {Ini(file_without_key), WaveBuzzOn(1, 2)},
     {},
     {},
     {"TvBz24B.wav loop"}},
    {"the keyboard when the file selects anything else",
     {1, 2},
     {Ini(1), WaveBuzzOn(255, 0), WaveBuzzOn(2, 2)},
     {"2: 00 04 03 01 00 08", "2: 00 04 03 04 02 0D"},
     {.wave_pattern = 2, .wave_sound = 2}},
    {"wave off after the file switched to wave files also stops the pad's lasting buzz",
     {1, 2},
     {WaveBuzzOn(2, 0), Ini(0), WaveBuzzOff(), Ini(no_file), WaveBuzzOn(0, 255)},
     {"2: 00 04 03 04 00 0B", "2: 00 05 02 00 07"},
     {},
     {"stop"}},
    {"wave off after the file switched to the pad also stops the looping wave file",
     {1, 2},
     {Ini(0), WaveBuzzOn(2, 1), Ini(1), WaveBuzzOff()},
     {"2: 00 05 02 00 07"},
     {},
     {"TvBz12A.wav loop", "stop"}},
    {"wave off with wave files and no lasting pad buzz touches no keyboard",
     {1, 2},
     {WaveBuzzOn(0, 1), Ini(0), WaveBuzzOn(1, 0), WaveBuzzOff()},
     {"2: 00 04 03 01 01 09"},
     {},
     {"TvBz06B.wav loop", "stop"}},
    {"wave off on the pad clears",
     {1, 2},
     {WaveBuzzOn(1, 1), WaveBuzzOff(), WaveBuzzOn(0, 255)},
     {"2: 00 04 03 02 01 0A", "2: 00 05 02 00 07"},
     {},
     {"stop"}},
    {"wave off without a pad forgets the lasting buzz, so the replug replays nothing",
     {1, 2},
     {WaveBuzzOn(2, 1), Sim("unplug 2"), WaveBuzzOff(), Sim("plug 2"), WaveBuzzOn(0, 255)},
     {"2: 00 04 03 04 01 0C"},
     {},
     {"stop"}},
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

std::string frame_text(int model, const hidlink::Frame& frame) {
    std::size_t used = 3 + std::min<std::size_t>(frame[2], 35);
    for (std::size_t i = used; i < frame.size(); ++i) {
        if (frame[i] != 0) {
            used = frame.size();  // padding must be zero: show all of it
        }
    }
    std::ostringstream text;
    text << model << ":";
    char byte[4];
    for (std::size_t i = 0; i < used; ++i) {
        std::snprintf(byte, sizeof byte, " %02X", frame[i]);
        text << byte;
    }
    return text.str();
}

class BuzzerCommandsTest : public ::testing::TestWithParam<Case> {};

TEST_P(BuzzerCommandsTest, FramesAndSavedSettings) {
    const Case& c = GetParam();
    simulator::Simulation simulation(c.models);
    std::vector<std::string> frames;
    simulation.set_log_sink([&frames](const std::string& line) {
        simulator::LoggedFrame logged;
        if (simulator::parse_frame_line(line, logged) &&
            logged.direction == simulator::Direction::in) {
            frames.push_back(frame_text(logged.model, logged.frame));
        }
    });
    common::FakeClock clock;
    simulator::InProcessHost host(simulation, clock);
    hidlink::Link link(host, clock);
    SettingsBlock block;
    FakePlatform platform;
    BuzzerCommands commands(link, block, platform);

    for (const Step& step : c.steps) {
        std::string error;
        switch (step.op) {
            case Op::buzz_on:
                commands.buzz_on(step.a, step.b);
                break;
            case Op::buzz_off:
                commands.buzz_off();
                break;
            case Op::click:
                commands.set_key_click(step.a);
                break;
            case Op::no_click:
                commands.dis_key_click();
                break;
            case Op::wave_on:
                commands.wave_buzz_on(step.a, step.b);
                break;
            case Op::wave_off:
                commands.wave_buzz_off();
                break;
            case Op::ini:
                platform.files.erase(ini_path);
                if (step.a == file_without_key) {
                    platform.files[ini_path]["Other/SelectSound"] = 1;
                } else if (step.a != no_file) {
                    platform.files[ini_path]["Speaker/SelectSound"] = step.a;
                }
                break;
            case Op::sim:
                ASSERT_TRUE(simulation.apply_command(step.text, error)) << error;
                break;
        }
        EXPECT_EQ(host.open_devices(), 0) << "every command closes the keyboard";
    }
    EXPECT_EQ(frames, c.frames);
    Saved saved{block.saved_click, block.saved_buzz_pattern, block.saved_buzz_sound,
                block.saved_wave_pattern, block.saved_wave_sound};
    EXPECT_EQ(saved, c.saved);
    EXPECT_EQ(platform.sounds, c.sounds);
    for (const std::string& event : host.phase_events()) {
        EXPECT_EQ(event, "BuzzeKeyStop");
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, BuzzerCommandsTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(BuzzerCommands, SilentKeyboardCostsAtMostBothTimeOutsPerKeyboard) {
    simulator::Simulation simulation({1, 2});
    std::string error;
    ASSERT_TRUE(simulation.apply_command("fault 1 silent always", error));
    ASSERT_TRUE(simulation.apply_command("fault 2 silent always", error));
    common::FakeClock clock;
    simulator::InProcessHost host(simulation, clock);
    hidlink::Link link(host, clock);
    SettingsBlock block;
    FakePlatform platform;
    BuzzerCommands commands(link, block, platform);
    const std::uint64_t start = clock.now_ms();
    commands.set_key_click(1);
    // Two keyboards; each write completes at once and each read is given up after 5 s.
    EXPECT_LE(clock.now_ms() - start, 2 * 10'000u + 100);
    EXPECT_GE(clock.now_ms() - start, 2 * 5'000u);
    EXPECT_EQ(block.saved_click, 1);
}

}  // namespace
}  // namespace buzzer_library
