// The shared settings block: initial values written once by the first process, an attach
// count that no race can break, saved sounds that are never half a setting.
#include "buzzer_library/settings_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "buzzer_library/sound_selection.h"

namespace buzzer_library {
namespace {

SettingsBlock zeroed_block() {
    SettingsBlock block;
    std::memset(static_cast<void*>(&block), 0, sizeof block);  // what a new shared mapping holds
    return block;
}

TEST(SettingsBlock, FirstAttachWritesInitialValuesAndLaterOnesKeepTheSavedOnes) {
    SettingsBlock block = zeroed_block();
    attach(block);
    EXPECT_EQ(block.init_state, block_ready);
    EXPECT_EQ(block.saved_click, nothing_saved);
    EXPECT_EQ(block.saved_buzz_sound, nothing_saved);
    EXPECT_EQ(block.saved_wave_sound, nothing_saved);
    EXPECT_EQ(block.saved_buzz_pattern, nothing_saved);
    EXPECT_EQ(block.saved_wave_pattern, nothing_saved);
    EXPECT_EQ(block.attach_count, 1);

    store(block.saved_click, 2);
    attach(block);
    EXPECT_EQ(block.saved_click, 2);
    EXPECT_EQ(block.attach_count, 2);

    EXPECT_FALSE(detach(block));
    EXPECT_TRUE(detach(block));
    EXPECT_EQ(block.attach_count, 0);
    EXPECT_TRUE(detach(block)) << "an unbalanced detach stays at 0";
    EXPECT_EQ(block.attach_count, 0);
}

TEST(SettingsBlock, CommandsWaitForTheFirstProcessButNotForOneThatVanished) {
    common::FakeClock clock;
    SettingsBlock ready;
    const std::uint64_t start = clock.now_ms();
    wait_until_ready(ready, clock);
    EXPECT_EQ(clock.now_ms(), start);

    SettingsBlock stuck = zeroed_block();
    stuck.init_state = block_initialising;  // the first process died while writing
    wait_until_ready(stuck, clock);
    EXPECT_EQ(stuck.init_state, block_ready);
    EXPECT_EQ(stuck.saved_buzz_pattern, nothing_saved);
    EXPECT_GT(clock.now_ms() - start, 1000u);
    EXPECT_LT(clock.now_ms() - start, 1100u);
}

TEST(SettingsBlock, ConcurrentAttachAndDetachLoseNoCount) {
    SettingsBlock block = zeroed_block();
    attach(block);  // a client that stays
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&block] {
            for (int i = 0; i < 20000; ++i) {
                attach(block);
                EXPECT_FALSE(detach(block));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(block.attach_count, 1);
}

TEST(SettingsBlock, ReadersNeverSeeAOneShotPatternSaved) {
    SettingsBlock block;
    std::atomic<bool> stop = false;
    std::atomic<int> bad = 0;
    std::thread reader([&] {
        while (!stop) {
            std::int32_t pattern = load(block.saved_buzz_pattern);
            if (pattern != 1 && pattern != 2 && pattern != nothing_saved) {
                ++bad;
            }
            SavedSound sound = load_sound(block.saved_buzz_pattern, block.saved_buzz_sound);
            if (sound.saved() && sound.sound == nothing_saved) {
                ++bad;
            }
        }
    });
    for (int i = 0; i < 200000; ++i) {
        store_sound(block.saved_buzz_pattern, block.saved_buzz_sound, i % 4 == 3 ? 255 : i % 3,
                    i % 3);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(bad, 0);
}

TEST(SoundSelection, OutputWaveFileAndLoopPerPatternAndSound) {
    EXPECT_EQ(choose_sound_output(false, 0), SoundOutput::keyboard);
    EXPECT_EQ(choose_sound_output(true, 0), SoundOutput::computer);
    EXPECT_EQ(choose_sound_output(true, 1), SoundOutput::keyboard);
    EXPECT_EQ(choose_sound_output(true, -1), SoundOutput::keyboard);

    struct Row {
        int pattern;
        const char* files[3];
        bool loop;
    };
    const Row rows[] = {
        {0, {"TvBz06B.wav", "TvBz12B.wav", "TvBz24B.wav"}, false},
        {1, {"TvBz06B.wav", "TvBz12B.wav", "TvBz24B.wav"}, true},
        {2, {"TvBz06A.wav", "TvBz12A.wav", "TvBz24A.wav"}, true},
        {255, {"TvBz06B.wav", "TvBz12B.wav", "TvBz24B.wav"}, true},
    };
    for (const Row& row : rows) {
        for (int sound = 0; sound < 3; ++sound) {
            auto wave = wave_sound(row.pattern, sound);
            ASSERT_TRUE(wave) << row.pattern << "/" << sound;
            EXPECT_STREQ(wave->file, row.files[sound]);
            EXPECT_EQ(wave->loop, row.loop);
        }
        EXPECT_FALSE(wave_sound(row.pattern, 255)) << "no replay of wave playback";
        EXPECT_FALSE(wave_sound(row.pattern, 3));
        EXPECT_FALSE(wave_sound(row.pattern, -1));
    }
    EXPECT_FALSE(wave_sound(3, 0));
}

TEST(SoundSelection, PathNextToTheExecutable) {
    EXPECT_EQ(path_next_to_executable("C:\\Program Files\\POS\\till.exe", "TAVBuzzChk.exe"),
              "C:\\Program Files\\POS\\TAVBuzzChk.exe");
    EXPECT_EQ(path_next_to_executable("C:\\till.exe", "ReedBeep.ini"), "C:\\ReedBeep.ini");
    EXPECT_FALSE(path_next_to_executable("till.exe", "ReedBeep.ini"));
    EXPECT_FALSE(path_next_to_executable("", "ReedBeep.ini"));

    // C:\ + folder + \ReedBeep.ini: 259 characters and the terminator fit, one more does not.
    auto in_folder = [](std::size_t length) {
        return "C:\\" + std::string(length, 'd') + "\\till.exe";
    };
    auto path = path_next_to_executable(in_folder(243), "ReedBeep.ini");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->size(), 259u);
    EXPECT_FALSE(path_next_to_executable(in_folder(244), "ReedBeep.ini"));

    // UTF-8 paths: "ソ" is 83 5C in code page 932, whose second byte is a backslash; here it
    // is not. The limit counts characters, not bytes.
    EXPECT_EQ(path_next_to_executable("C:\\POS\\ソフト.exe", "ReedBeep.ini"),
              "C:\\POS\\ReedBeep.ini");
    EXPECT_EQ(path_next_to_executable("C:\\ソフト\\レジ.exe", "TAVBuzzChk.exe"),
              "C:\\ソフト\\TAVBuzzChk.exe");
    auto in_japanese_folder = [](std::size_t length) {
        std::string folder;
        for (std::size_t i = 0; i < length; ++i) {
            folder += "ソ";
        }
        return "C:\\" + folder + "\\till.exe";
    };
    EXPECT_TRUE(path_next_to_executable(in_japanese_folder(243), "ReedBeep.ini"));
    EXPECT_FALSE(path_next_to_executable(in_japanese_folder(244), "ReedBeep.ini"));
    // Beyond the basic plane a character takes two.
    EXPECT_FALSE(path_next_to_executable(
        "C:\\" + std::string(122, 'd') + "\xF0\x9F\x94\x94" + std::string(120, 'd') + "\\till.exe",
        "ReedBeep.ini"));
}

}  // namespace
}  // namespace buzzer_library
