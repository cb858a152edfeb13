#include "keymap_editor/apply.h"

#include <gtest/gtest.h>

#include "keymap_download/tests/keyboard_fixture.h"
#include "keymap_editor/model.h"

namespace keymap_editor {
namespace {

using keymap_download::hex;

class Apply : public keymap_download::KeyboardFixture {
  protected:
    // The whole command as the setting dialog runs it; the failure flag afterwards.
    bool run(std::string_view date_text) {
        apply_.prepare(build_keymap(KeymapModel{}), date_text);
        apply_.mark_started();
        if (apply_.write_keymap() == apply_success) {
            apply_.send_date_stamp();
        }
        return !apply_.failed();
    }
    KeymapApply apply_{link_, clock_};
};

TEST_F(Apply, ResetModelFramesPauseAndDate) {
    std::uint64_t end_reply_at = 0;
    simulation_.set_log_sink([&](const std::string& line) {
        if (line.find(" in 00 21 03 00 FF") != std::string::npos) {
            end_reply_at = clock_.now_ms();
        }
        if (line.find(" in 00 08 0C 03") != std::string::npos) {
            EXPECT_GE(clock_.now_ms(), end_reply_at + 12000);
        }
    });
    ASSERT_TRUE(run("2011-01-01"));
    EXPECT_NE(end_reply_at, 0u);
    EXPECT_EQ(keyboard_date(1), "2011-01-01");
    const auto& keymap = keyboard_keymap(1);
    EXPECT_EQ(std::count(keymap.begin(), keymap.end(), 0), 176);
}

TEST_F(Apply, FramesOnTheWire) {
    ASSERT_TRUE(run("2011-01-01"));
    ASSERT_EQ(sent_.size(), 9u);
    EXPECT_EQ(hex(sent_[0], 9), "00 21 06 00 00 00 0F F0 26");
    for (int b = 1; b <= 5; ++b) {
        EXPECT_EQ(sent_[b][37], 0x45) << b;
    }
    EXPECT_EQ(hex(sent_[6], 5), "00 21 23 00 01");
    EXPECT_EQ(sent_[6][5 + 16], 0xFF);
    EXPECT_EQ(sent_[6][37], 0x35);
    EXPECT_EQ(hex(sent_[7], 6), "00 21 03 00 FF 23");
    EXPECT_EQ(hex(sent_[8], 15), "00 08 0C 03 32 30 31 31 2D 30 31 2D 30 31 F7");
    EXPECT_EQ(host_.phase_events(),
              (std::vector<std::string>{"ZELDLStart", "ZELDLStart", "ZELDLEnd", "TimeSet"}));
}

TEST_F(Apply, DateTextIsTheFieldsFirstTenBytes) {
    struct Case {
        std::string field;
        const char* bytes;
    } cases[] = {
        {"2026", "32 30 32 36 00 00 00 00 00 00"},
        {"", "00 00 00 00 00 00 00 00 00 00"},
        {"2026-12-08 and more", "32 30 32 36 2D 31 32 2D 30 38"},
        {std::string(5000, '9'), "39 39 39 39 39 39 39 39 39 39"},
    };
    for (const Case& c : cases) {
        sent_.clear();
        ASSERT_TRUE(run(c.field));
        EXPECT_EQ(hex(sent_.back(), 14).substr(12), c.bytes) << c.field.size();
    }
    EXPECT_EQ(apply_.date_text().size(), max_date_text);
}

TEST_F(Apply, Failures) {
    // A negative reply to the third data frame: no more data frames, no end frame, no stamp.
    command("fault 1 nak on 21:00:01 at 3");
    EXPECT_FALSE(run("2011-01-01"));
    EXPECT_EQ(count_sent(0x21, 0x01), 3);
    EXPECT_EQ(count_sent(0x21, 0xFF), 0);
    EXPECT_EQ(count_sent(0x08), 0);

    // A refused date stamp fails the command although the key map was written.
    sent_.clear();
    command("fault 1 nak on 08");
    EXPECT_FALSE(run("2011-01-01"));
    EXPECT_EQ(count_sent(0x21, 0xFF), 1);
    EXPECT_EQ(count_sent(0x08), 1);

    // No keyboard: nothing is sent.
    sent_.clear();
    command("unplug 1");
    EXPECT_FALSE(run("2011-01-01"));
    EXPECT_TRUE(sent_.empty());
}

TEST_F(Apply, ReadFromKeyboard) {
    Keymap keymap{};
    ASSERT_TRUE(apply_.read_keymap(keymap));
    EXPECT_TRUE(std::equal(keymap.begin(), keymap.end(), keyboard_keymap(1).begin()));
    EXPECT_EQ(count_sent(0x21), 0);

    for (const char* fault : {"fault 1 nak on 11", "fault 1 short 5 on 11", "unplug 1"}) {
        command(fault);
        keymap.fill(0x33);
        EXPECT_FALSE(apply_.read_keymap(keymap)) << fault;
        EXPECT_EQ(keymap[0], 0x33) << fault;  // untouched
    }
}

}  // namespace
}  // namespace keymap_editor
