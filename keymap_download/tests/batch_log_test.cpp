#include "keymap_download/batch_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#endif

#include "keymap_download/tests/temp_folder.h"

namespace keymap_download {
namespace {

common::LocalDateTime at(int year, int month, int day, int hour, int minute) {
    return {{year, month, day}, hour, minute};
}

BatchState state_of(ResultCode result, std::int16_t model, const char* command_text) {
    BatchState state;
    state.result = result;
    state.model_selector = model;
    state.options = parse_options(command_text);
    return state;
}

TEST(KeymapBatchLog, TimePrefix) {
    EXPECT_EQ(time_prefix(at(2011, 1, 1, 9, 5)), "2011-01-01, 09:05,");
    EXPECT_EQ(time_prefix(at(2011, 12, 31, 23, 59)), "2011-12-31, 23:59,");
    EXPECT_EQ(time_prefix(at(2024, 10, 10, 10, 10)), "2024-10-10, 10:10,");
    EXPECT_EQ(time_prefix(at(2024, 9, 9, 0, 0)), "2024-09-09, 00:00,");
}

TEST(KeymapBatchLog, Lines) {
    const auto now = at(2011, 1, 1, 9, 5);
    EXPECT_EQ(log_line(ResultCode::update_success, now, 1, "C:\\maps\\xxxmap.tbl", false),
              "2011-01-01, 09:05, Sparrow, xxxmap.tbl, update success.\n");
    EXPECT_EQ(log_line(ResultCode::start_failed, now, 2, "xxxmap.tbl", false),
              "2011-01-01, 09:05, Reed, xxxmap.tbl, update error, command error (start).\n");
    // Only backslashes separate folders.
    EXPECT_EQ(log_line(ResultCode::same_keymap, now, 2, "a\\b\\", false),
              "2011-01-01, 09:05, Reed, , same KeyMap.\n");
    // Codes 2, 3, 18 and 20 carry neither model nor file.
    EXPECT_EQ(log_line(ResultCode::no_function, now, 1, "x.tbl", false),
              "2011-01-01, 09:05, , , other error, parameter error (function /C /W /F).\n");
    EXPECT_EQ(log_line(ResultCode::no_model, now, 0, "x.tbl", false),
              "2011-01-01, 09:05, , , other error, parameter error (Target Keyboard /1 /2).\n");
    EXPECT_EQ(log_line(ResultCode::bad_date, now, 2, "x.tbl", false),
              "2011-01-01, 09:05, , , other error, parameter error (date /T).\n");
    EXPECT_EQ(log_line(ResultCode::overlap_start, now, 0, "", false),
              "2011-01-01, 09:05, , , other error, overlap start error.\n");

    // An over-long file name is cut so the line keeps its outcome within 259 characters.
    const std::string name(300, 'n');
    const std::string line = log_line(ResultCode::timeout, now, 1, "C:\\" + name, false);
    EXPECT_EQ(line.size(), max_log_line);
    EXPECT_EQ(line.substr(0, 33), "2011-01-01, 09:05, Sparrow, nnnnn");
    EXPECT_EQ(line.substr(line.size() - 18), "n, timeout error.\n");

    // Under code page 932 a character's second byte 5CH ("\\" in ソ, 表) separates nothing,
    // and an over-long name loses whole characters.
    EXPECT_EQ(log_line(ResultCode::update_success, now, 1, "C:\\\x83\x5C\x95\x5C.tbl", true),
              "2011-01-01, 09:05, Sparrow, \x83\x5C\x95\x5C.tbl, update success.\n");
    std::string wide_name = "x";  // so that the room ends inside a character
    for (int i = 0; i < 150; ++i) {
        wide_name += "\x95\x5C";
    }
    const std::string cut = log_line(ResultCode::timeout, now, 1, "C:\\" + wide_name, true);
    EXPECT_EQ(cut.size(), max_log_line - 1);
    const std::string whole_end = "\x95\x5C, timeout error.\n";
    EXPECT_EQ(cut.substr(cut.size() - whole_end.size()), whole_end);
}

TEST(KeymapBatchLog, ExitCodesAndWriteResults) {
    const std::pair<ResultCode, int> table[] = {
        {ResultCode::update_success, 0},
        {ResultCode::usage_shown, 0},
        {ResultCode::no_function, 3},
        {ResultCode::no_model, 3},
        {ResultCode::no_keymap_file, 3},
        {ResultCode::keymap_form_error, 3},
        {ResultCode::same_keymap, 0},
        {ResultCode::different_keymap, 1},
        {ResultCode::memory_error, 3},
        {ResultCode::date_stamp_failed, 3},
        {ResultCode::keymap_upload_error, 3},
        {ResultCode::start_failed, 1},
        {ResultCode::data_failed, 1},
        {ResultCode::end_failed, 1},
        {ResultCode::no_device, 2},
        {ResultCode::timeout, 3},
        {ResultCode::overlap_start, 3},
        {ResultCode::backup_failed, 3},
        {ResultCode::bad_date, 3},
    };
    for (auto [result, exit_code] : table) {
        EXPECT_EQ(exit_code_for(result), exit_code) << static_cast<int>(result);
    }
    EXPECT_EQ(result_for_write(WriteOutcome::start_failed), ResultCode::start_failed);
    EXPECT_EQ(result_for_write(WriteOutcome::data_failed), ResultCode::data_failed);
    EXPECT_EQ(result_for_write(WriteOutcome::end_failed), ResultCode::end_failed);
    EXPECT_EQ(result_for_write(WriteOutcome::timeout), ResultCode::timeout);
    EXPECT_EQ(result_for_write(WriteOutcome::device_not_selected), ResultCode::no_model);
}

TEST(KeymapBatchLog, ReportRules) {
    const auto now = at(2011, 1, 1, 9, 5);
    // Usage asked for: the usage dialog stays until OK; nothing logged.
    ReportPlan p = plan_report(state_of(ResultCode::usage_shown, 0, "/H /L l.csv "), now);
    EXPECT_TRUE(p.show_usage);
    EXPECT_FALSE(p.usage_auto_close);
    EXPECT_FALSE(p.write_log);
    EXPECT_FALSE(p.show_message);

    // Same key map: shown only for /C, never logged.
    p = plan_report(state_of(ResultCode::same_keymap, 1, "/1 /W a.tbl /L l.csv "), now);
    EXPECT_FALSE(p.show_message || p.show_usage || p.write_log);
    p = plan_report(state_of(ResultCode::same_keymap, 1, "/1 /C a.tbl /L l.csv "), now);
    EXPECT_TRUE(p.show_message);
    EXPECT_FALSE(p.write_log);
    EXPECT_EQ(p.line, "2011-01-01, 09:05, Sparrow, a.tbl, same KeyMap.\n");

    // Second instance: shown, not logged.
    p = plan_report(overlap_start_state(), now);
    EXPECT_TRUE(p.show_message);
    EXPECT_FALSE(p.write_log);

    // Parameter errors: logged when asked, then the self-closing usage dialog.
    p = plan_report(state_of(ResultCode::no_model, 0, "/F a.tbl /L l.csv "), now);
    EXPECT_TRUE(p.write_log);
    EXPECT_EQ(p.log_path, "l.csv ");  // the trailing blank of the last option stays
    EXPECT_TRUE(p.show_usage);
    EXPECT_TRUE(p.usage_auto_close);
    EXPECT_FALSE(p.show_message);
    p = plan_report(state_of(ResultCode::no_function, 0, "/1 "), now);
    EXPECT_FALSE(p.write_log);
    EXPECT_TRUE(p.show_usage && p.usage_auto_close);

    // Everything else: logged when asked, and the message dialog.
    p = plan_report(state_of(ResultCode::different_keymap, 2, "/2 /C a.tbl /L l.csv "), now);
    EXPECT_TRUE(p.write_log);
    EXPECT_TRUE(p.show_message);
    EXPECT_FALSE(p.show_usage);
    EXPECT_EQ(p.line, "2011-01-01, 09:05, Reed, a.tbl, different KeyMap.\n");
    p = plan_report(state_of(ResultCode::no_device, 2, "/2 /C a.tbl "), now);
    EXPECT_FALSE(p.write_log);
    EXPECT_TRUE(p.show_message);

    // A key map file given last keeps the command text's blank in the file field; scripts
    // that parse the log see "x.tbl ".
    p = plan_report(state_of(ResultCode::no_keymap_file, 1, "/1 /L l.csv /F C:\\m\\x.tbl "), now);
    EXPECT_EQ(p.line, "2011-01-01, 09:05, Sparrow, x.tbl , other error, no keymap file.\n");
}

using KeymapLogFile = TempFolder;

TEST_F(KeymapLogFile, AppendsWithCrLf) {
    const std::string log = path("run.csv");
    ASSERT_TRUE(append_log_line(log, "first\n"));
    ASSERT_TRUE(append_log_line(log, "second\n"));
    EXPECT_EQ(contents(log), "first\r\nsecond\r\n");
    EXPECT_FALSE(append_log_line(path("no/such/folder.csv"), "x\n"));

    // report_batch writes what the plan says, to the log path with its trailing blank.
    enter();
    BatchState state;
    state.result = ResultCode::no_model;
    state.options = parse_options("/F a.tbl /L r.csv ");
    report_batch(state, at(2011, 1, 1, 9, 5));
    EXPECT_EQ(contents(path("r.csv")),
              "2011-01-01, 09:05, , , other error, parameter error (Target Keyboard /1 /2).\r\n");
}

TEST_F(KeymapLogFile, Rotation) {
    EXPECT_EQ(backup_path("C:\\logs\\x.csv"), "C:\\logs\\x.bak");
    EXPECT_EQ(backup_path("x.csv.old.csv"), "x.bak");
    EXPECT_EQ(backup_path("X.CSV"), "X.bak");
    EXPECT_EQ(backup_path("x.Csv"), "");
    EXPECT_EQ(backup_path("x.log"), "");

    const std::string log = path("x.csv");
    const std::string bak = path("x.bak");
    put(log, std::string(64000, 'a'));
    put(bak, "older backup");
    ASSERT_TRUE(append_log_line(log, "line\n"));
    EXPECT_EQ(contents(bak), "older backup");  // 64000 bytes is not more than 64000
    EXPECT_EQ(contents(log).size(), 64006u);

    put(log, std::string(64001, 'b'));
    ASSERT_TRUE(append_log_line(log, "line\n"));
    EXPECT_EQ(contents(bak), std::string(64001, 'b'));
    EXPECT_EQ(contents(log), "line\r\n");

    // A backup that cannot be replaced keeps the log whole, the new line added.
    const std::string log2 = path("y.csv");
    std::filesystem::create_directories(path("y.bak/held"));
    put(log2, std::string(64001, 'd'));
    ASSERT_TRUE(append_log_line(log2, "line\n"));
    EXPECT_EQ(contents(log2), std::string(64001, 'd') + "line\r\n");
    EXPECT_TRUE(std::filesystem::exists(path("y.bak/held")));
    EXPECT_FALSE(std::filesystem::exists(log2 + "~"));
#ifdef _WIN32
    // A log held open by a viewer (no delete sharing) cannot move: the backup stays.
    put(log, std::string(64001, 'e'));
    const int viewer = _sopen(log.c_str(), _O_RDONLY, _SH_DENYNO);
    ASSERT_GE(viewer, 0);
    append_log_line(log, "line\n");
    _close(viewer);
    EXPECT_EQ(contents(bak), std::string(64001, 'b'));
#endif

    // Without .csv no rotation, however big.
    const std::string plain = path("x.log");
    put(plain, std::string(70000, 'c'));
    ASSERT_TRUE(append_log_line(plain, "line\n"));
    EXPECT_EQ(contents(plain).size(), 70006u);
}

}  // namespace
}  // namespace keymap_download
