#include "keymap_download/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "keymap_download/batch_log.h"
#include "keymap_download/dialog_logic.h"
#include "keymap_download/tests/keyboard_fixture.h"

namespace keymap_download {
namespace {

class KeymapBatch : public KeyboardFixture {
  protected:
    void SetUp() override {
        KeyboardFixture::SetUp();
        enter();
    }

    // A table file whose T lines carry `bytes` verbatim (unlike the editor's writer).
    void put_table(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string text = "STARTTABLE\r\n";
        for (std::size_t n = 0; n * 8 < bytes.size(); ++n) {
            text += "T";
            for (std::size_t i = 0; i < 8; ++i) {
                char group[8];
                std::snprintf(group, sizeof group, ",%02XH", bytes[n * 8 + i]);
                text += group;
            }
            text += "\r\n";
        }
        put(name, text + "ENDTABLE\r\n");
    }

    BatchState run(const std::string& command_text) {
        return run_batch(command_text, session_, today);
    }

    const common::LocalDateTime now_{{2024, 5, 6}, 7, 30};
    // Today's date as the shell gives it; the run asks for it only to stamp a written key map.
    int today_calls_ = 0;
    std::uint64_t today_asked_ms_ = 0;
    std::function<std::string()> today = [this] {
        ++today_calls_;
        today_asked_ms_ = clock_.now_ms();
        return std::string("2024-05-06");
    };
};

TEST_F(KeymapBatch, Compare) {
    put_table("same.tbl", keyboard_keymap(1));
    put_table("other.tbl", std::vector<std::uint8_t>(192, 0x11));

    BatchState s = run("/1 /C same.tbl /L log.csv ");
    EXPECT_EQ(s.result, ResultCode::same_keymap);
    EXPECT_EQ(exit_code_for(s.result), 0);
    ReportPlan plan = report_batch(s, now_);
    EXPECT_TRUE(plan.show_message);
    EXPECT_EQ(plan.line, "2024-05-06, 07:30, Sparrow, same.tbl, same KeyMap.\n");

    s = run("/1 /W same.tbl /L log.csv ");
    EXPECT_EQ(s.result, ResultCode::same_keymap);
    plan = report_batch(s, now_);
    EXPECT_FALSE(plan.show_message || plan.show_usage);
    EXPECT_EQ(contents("log.csv"), "");

    s = run("/1 /C other.tbl /L log.csv ");
    EXPECT_EQ(s.result, ResultCode::different_keymap);
    EXPECT_EQ(exit_code_for(s.result), 1);
    report_batch(s, now_);
    EXPECT_EQ(contents("log.csv"), "2024-05-06, 07:30, Sparrow, other.tbl, different KeyMap.\r\n");
    EXPECT_EQ(count_sent(0x21), 0);

    command("fault 1 short 2 on 11");
    EXPECT_EQ(run("/1 /W other.tbl ").result, ResultCode::keymap_upload_error);
    EXPECT_EQ(count_sent(0x21), 0);
    EXPECT_EQ(today_calls_, 0);
}

TEST_F(KeymapBatch, WriteAndDateStamp) {
    std::vector<std::uint8_t> bytes(192, 0x22);
    put_table("reed.tbl", bytes);
    const std::uint64_t start = clock_.now_ms();
    BatchState s = run("/2 /W reed.tbl /L log.csv ");
    EXPECT_EQ(s.result, ResultCode::update_success);
    EXPECT_GE(clock_.now_ms() - start, date_stamp_pause_ms);
    EXPECT_EQ(today_calls_, 1);  // after the write, right before the pause
    EXPECT_GE(clock_.now_ms() - today_asked_ms_, date_stamp_pause_ms);
    EXPECT_EQ(count_sent(0x21, 0x01), 5);
    EXPECT_EQ(keyboard_keymap(2), std::vector<std::uint8_t>(160, 0x22));
    EXPECT_EQ(keyboard_date(2), "2024-05-06");
    report_batch(s, now_);
    EXPECT_EQ(contents("log.csv"), "2024-05-06, 07:30, Reed, reed.tbl, update success.\r\n");

    // /F writes without reading; /T as the last option keeps its blank, the frame does not.
    sent_.clear();
    s = run("/1 /F reed.tbl /T 2011-01-01 ");
    EXPECT_EQ(s.options.date_text, "2011-01-01 ");
    EXPECT_EQ(s.result, ResultCode::update_success);
    EXPECT_EQ(count_sent(0x11), 0);
    EXPECT_EQ(hex(sent_.back(), 16), "00 08 0C 03 32 30 31 31 2D 30 31 2D 30 31 F7 00");
    EXPECT_EQ(keyboard_date(1), "2011-01-01");
}

TEST_F(KeymapBatch, ParameterFileAndDeviceErrors) {
    put_table("a.tbl", std::vector<std::uint8_t>(192, 0));
    put("bad.tbl", "STARTTABLE\nT,00H\nENDTABLE\n");

    EXPECT_EQ(run("/1 a.tbl ").result, ResultCode::no_function);
    EXPECT_EQ(run("/1 /? ").result, ResultCode::usage_shown);
    BatchState s = run("/F a.tbl /L log.csv ");
    EXPECT_EQ(s.result, ResultCode::no_model);
    report_batch(s, now_);
    EXPECT_EQ(contents("log.csv"),
              "2024-05-06, 07:30, , , other error, parameter error (Target Keyboard /1 /2).\r\n");

    // A /T value that is no date is a parameter error; "/12" does not make a model either way.
    for (const char* text : {"/2 /F a.tbl /T 2026/12/08 /L log.csv ", "/1 /F a.tbl /t /L log.csv ",
                             "/1 /B b.tbl /T 2026-12- "}) {
        s = run(text);
        EXPECT_EQ(s.result, ResultCode::bad_date) << text;
        EXPECT_EQ(exit_code_for(s.result), 3);
        EXPECT_TRUE(plan_report(s, now_).show_usage);
    }
    EXPECT_FALSE(std::filesystem::exists(path("b.tbl")));

    EXPECT_EQ(run("/1 /F missing.tbl ").result, ResultCode::no_keymap_file);
    EXPECT_EQ(run("/1 /F bad.tbl ").result, ResultCode::keymap_form_error);
    EXPECT_EQ(run_batch("/1 /F a.tbl ", session_, today, 100).result, ResultCode::memory_error);
    command("unplug 2");
    EXPECT_EQ(run("/2 /F a.tbl ").result, ResultCode::no_device);
    EXPECT_EQ(exit_code_for(ResultCode::no_device), 2);
    EXPECT_TRUE(sent_.empty());
}

TEST_F(KeymapBatch, WriteFaults) {
    put_table("a.tbl", std::vector<std::uint8_t>(192, 0x33));
    const std::pair<const char*, ResultCode> cases[] = {
        {"fault 1 nak on 21:00:00", ResultCode::start_failed},
        {"fault 1 nak on 21:00:01 at 2", ResultCode::data_failed},
        {"fault 1 silent on 21:00:FF", ResultCode::end_failed},
        {"fault 1 delay 3000 on 21 always", ResultCode::timeout},
        // Answered the compare's read, then gone before the write.
        {"fault 1 unplug-after on 11", ResultCode::start_failed},
        // Last: this write succeeds, after it /W finds the same key map.
        {"fault 1 nak on 08", ResultCode::date_stamp_failed},
    };
    for (const auto& [fault, result] : cases) {
        command("clear-faults");
        command("plug 1");
        command(fault);
        sent_.clear();
        const BatchState s = run("/1 /W a.tbl ");
        EXPECT_EQ(s.result, result) << fault;
        if (result != ResultCode::date_stamp_failed) {
            EXPECT_EQ(count_sent(0x08), 0) << fault;  // no date stamp after a failed write
        }
    }
}

// The key map a saved table file holds, read back with the tool's own reader.
std::vector<std::uint8_t> saved_keymap(const std::string& text, int line_count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(line_count) * 8);
    EXPECT_EQ(read_table(text, line_count, bytes), TableResult::accepted);
    return bytes;
}

TEST_F(KeymapBatch, BackupBeforeWriteOrAlone) {
    put_table("new.tbl", std::vector<std::uint8_t>(192, 0x44));
    const std::vector<std::uint8_t> old_reed = keyboard_keymap(2);

    // Alone it only saves: the model's T lines, nothing written.
    BatchState s = run("/2 /B old.tbl /L log.csv ");
    EXPECT_EQ(s.result, ResultCode::update_success);
    EXPECT_EQ(s.options.backup_path, "old.tbl");
    EXPECT_EQ(saved_keymap(contents("old.tbl"), 20), old_reed);
    const std::string saved = contents("old.tbl");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), ';'), 20);  // one row label per T line
    EXPECT_EQ(count_sent(0x21), 0);
    EXPECT_EQ(today_calls_, 0);
    report_batch(s, now_);
    EXPECT_EQ(contents("log.csv"), "2024-05-06, 07:30, Reed, old.tbl, update success.\r\n");

    // With /W the old map is saved and the new one written.
    s = run("/2 /W new.tbl /B \"saved.tbl\" ");
    EXPECT_EQ(s.result, ResultCode::update_success);
    EXPECT_EQ(saved_keymap(contents("saved.tbl"), 20), old_reed);
    EXPECT_EQ(keyboard_keymap(2), std::vector<std::uint8_t>(160, 0x44));

    const std::vector<std::uint8_t> old_sparrow = keyboard_keymap(1);
    s = run("/1 /B sparrow.tbl /F new.tbl ");
    EXPECT_EQ(s.result, ResultCode::update_success);
    EXPECT_EQ(saved_keymap(contents("sparrow.tbl"), 24), old_sparrow);
    EXPECT_EQ(keyboard_keymap(1), std::vector<std::uint8_t>(192, 0x44));
}

TEST_F(KeymapBatch, BackupFailuresWriteNothing) {
    put_table("new.tbl", std::vector<std::uint8_t>(192, 0x55));
    const std::vector<std::uint8_t> old_sparrow = keyboard_keymap(1);
    std::filesystem::create_directory(path("sub"));
    struct Case {
        const char* fault;  // keyboard fault, or empty
        const char* command_text;
        ResultCode result;
    };
    const Case cases[] = {
        {"fault 1 short 2 on 11", "/1 /W new.tbl /B old.tbl /L log.csv ",
         ResultCode::backup_failed},
        {"fault 1 nak on 11", "/1 /B old.tbl ", ResultCode::backup_failed},
        {"", "/1 /F new.tbl /B sub ", ResultCode::backup_failed},  // a folder, not a file
        {"", "/1 /C new.tbl /B old.tbl ", ResultCode::no_function},
        {"", "/B old.tbl ", ResultCode::no_model},
        {"", "/1 /B old.tbl /? ", ResultCode::usage_shown},
    };
    for (const Case& c : cases) {
        command("clear-faults");
        if (*c.fault != '\0') {
            command(c.fault);
        }
        sent_.clear();
        EXPECT_EQ(run(c.command_text).result, c.result) << c.command_text;
        EXPECT_EQ(count_sent(0x21), 0) << c.command_text;
        EXPECT_EQ(count_sent(0x08), 0) << c.command_text;
    }
    EXPECT_EQ(keyboard_keymap(1), old_sparrow);
    EXPECT_EQ(exit_code_for(ResultCode::backup_failed), 3);
    report_batch(run("/1 /W new.tbl /B sub /L log.csv "), now_);
    EXPECT_EQ(contents("log.csv"),
              "2024-05-06, 07:30, Sparrow, new.tbl, other error, keymap backup error.\r\n");
}

// The main dialog's save button: the same save, its outcome as a message box.
TEST_F(KeymapBatch, SaveButtonOutcomes) {
    std::filesystem::create_directory(path("folder.tbl"));
    const struct {
        const char* fault;  // keyboard fault, or empty
        const char* file;
        BackupOutcome outcome;
        const char* text;
        common::Icon icon;
    } cases[] = {
        {"", "saved.tbl", BackupOutcome::saved, "The keyboard's key map was saved.",
         common::Icon::information},
        {"fault 2 badsum 3 on 11", "bad.tbl", BackupOutcome::read_failed,
         "The key map cannot be read from the keyboard.", common::Icon::error},
        {"", "folder.tbl", BackupOutcome::write_failed, "The key map file cannot be written.",
         common::Icon::error},
    };
    session_.record = reed_record();
    for (const auto& c : cases) {
        command("clear-faults");
        if (*c.fault != '\0') {
            command(c.fault);
        }
        EXPECT_EQ(save_keyboard_keymap(session_, path(c.file)), c.outcome) << c.file;
        const MessageBoxPlan m = keymap_backup_message(c.outcome, messages_for(false));
        EXPECT_STREQ(m.text, c.text);
        EXPECT_EQ(m.icon, c.icon);
    }
    EXPECT_EQ(saved_keymap(contents("saved.tbl"), 20), keyboard_keymap(2));
    EXPECT_FALSE(std::filesystem::exists(path("bad.tbl")));
    EXPECT_STREQ(keymap_backup_message(BackupOutcome::read_failed, messages_for(true)).text,
                 "キーボードからキーマップを読み込めません。");
}

}  // namespace
}  // namespace keymap_download
