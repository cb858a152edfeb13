#include "keymap_download/batch_options.h"
#include "keymap_download/file_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keymap_download {
namespace {

TEST(KeymapBatchOptions, JoinedCommandText) {
    const char* argv[] = {"TAVmapDL.exe", "/1", "/W", "x.tbl"};
    EXPECT_EQ(join_command_text(4, argv), "/1 /W x.tbl ");
    EXPECT_EQ(join_command_text(1, argv), "");
    EXPECT_TRUE(is_gui_mode(join_command_text(1, argv)));
    // An empty argument still makes a batch run.
    EXPECT_EQ(join_command_text(std::vector<std::string>{""}), " ");

    // Long command lines are kept whole: options past the 255th character still count.
    const std::string path = "C:\\" + std::string(234, 'p') + ".tbl";
    const char* long_argv[] = {"TAVmapDL.exe", "/1",         "/W", path.c_str(),
                               "/T",           "2026-12-08", "/L", "updates.csv"};
    const std::string joined = join_command_text(8, long_argv);
    EXPECT_EQ(joined.size(), 6 + path.size() + 1 + 14 + 15u);
    const BatchOptions o = parse_options(joined);
    EXPECT_EQ(o.keymap_path, path);
    EXPECT_EQ(o.date_text, "2026-12-08");
    EXPECT_EQ(o.log_path, "updates.csv ");
}

TEST(KeymapBatchOptions, DateValues) {
    const struct {
        const char* value;
        bool date;
    } cases[] = {
        {"2011-01-01", true},
        {"2011-01-01 ", true},
        {"2011-01-01   ", true},
        {"", false},
        {" ", false},
        {"2026-12-", false},
        {"2026/12/08", false},
        {"202", false},
        {"2011-1-01 ", false},
        {"20110101  ", false},
        {" 2011-01-01", false},
        {"2011-01-01x", false},
        {"2011-01-01 x", false},
        {"2011-01-0a", false},
        {"\"2011-01-01\"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_date_value(c.value), c.date) << '"' << c.value << '"';
    }
}

TEST(KeymapBatchOptions, ValuesEndBeforeTheNextSlash) {
    const std::string text = "/1 /W xxxmap.tbl /L xxxlog.csv /T 2011-01-01 ";
    EXPECT_EQ(option_value(text, find_option(text, "/W")), "xxxmap.tbl");
    EXPECT_EQ(option_value(text, find_option(text, "/L")), "xxxlog.csv");
    // The last value keeps the joined text's trailing blank.
    EXPECT_EQ(option_value(text, find_option(text, "/T")), "2011-01-01 ");
    // A slash right at the value's start, or right after one character, leaves it empty.
    EXPECT_EQ(option_value("/W /L log.csv ", 0), "");
    EXPECT_EQ(option_value("/W x/L log.csv ", 0), "");
    // Two characters are skipped after the slash whatever they are.
    EXPECT_EQ(option_value("/Wmap.tbl ", 0), "ap.tbl ");
    // Values that run off the end of the text.
    EXPECT_EQ(option_value("/W", 0), "");
    EXPECT_EQ(option_value("/W ", 0), "");
    EXPECT_EQ(option_value("/W", 1), "");
    EXPECT_EQ(option_value("/W", std::string::npos), "");
    // The value takes everything up to one before the slash, blanks included.
    EXPECT_EQ(option_value("/F C:\\My Files\\a.tbl  /1 ", 0), "C:\\My Files\\a.tbl ");
}

TEST(KeymapBatchOptions, DoubleQuoteRule) {
    EXPECT_EQ(unquoted_value("\"C:\\a b\\map.tbl\" "), "C:\\a b\\map.tbl");
    EXPECT_EQ(unquoted_value("x\"map.tbl"), "map.tbl");
    EXPECT_EQ(unquoted_value("\"\""), "");
    EXPECT_EQ(unquoted_value("plain "), "plain ");

    // Applied to /L and the function option, not to /T.
    BatchOptions o = parse_options("/1 /F \"a b.tbl\" /L \"my log.csv\" /T \"2011\" ");
    EXPECT_EQ(o.keymap_path, "a b.tbl");
    EXPECT_EQ(o.log_path, "my log.csv");
    EXPECT_EQ(o.date_text, "\"2011\" ");
}

TEST(KeymapBatchOptions, BackupOption) {
    const struct {
        const char* text;
        bool backup;
        const char* path;
    } cases[] = {
        {"/1 /B old.tbl ", true, "old.tbl "},
        {"/1 /W a.tbl /b \"my old.tbl\" /L log.csv ", true, "my old.tbl"},
        {"/b low.tbl /B up.tbl ", true, "up.tbl "},
        {"/1 /W a.tbl /B", true, ""},
        {"/1 /W a.tbl ", false, ""},
    };
    for (const auto& c : cases) {
        const BatchOptions o = parse_options(c.text);
        EXPECT_EQ(o.backup, c.backup) << c.text;
        EXPECT_EQ(o.backup_path, c.path) << c.text;
    }
    // /B is no function option: the function's value stays its own.
    EXPECT_EQ(parse_options("/B b.tbl /F a.tbl ").keymap_path, "a.tbl ");
}

TEST(KeymapBatchOptions, SearchOrder) {
    BatchOptions o = parse_options("/1 /W a.tbl /L log.csv /T 2011-01-01 ");
    EXPECT_EQ(o.function, BatchFunction::write_if_different);
    EXPECT_EQ(o.keymap_path, "a.tbl");
    EXPECT_TRUE(o.log);
    EXPECT_EQ(o.log_path, "log.csv");
    EXPECT_EQ(o.model_selector, 1);
    EXPECT_TRUE(o.date_given);
    EXPECT_EQ(o.date_text, "2011-01-01 ");
    EXPECT_FALSE(o.usage);

    // /C before /c before /W … whatever their places in the text.
    o = parse_options("/f f.tbl /w w.tbl /c c.tbl /2 ");
    EXPECT_EQ(o.function, BatchFunction::compare);
    EXPECT_EQ(o.keymap_path, "c.tbl");
    o = parse_options("/f f.tbl /W w.tbl ");
    EXPECT_EQ(o.function, BatchFunction::write_if_different);
    o = parse_options("/f f.tbl ");
    EXPECT_EQ(o.function, BatchFunction::write_always);
    EXPECT_EQ(o.model_selector, 0);
    EXPECT_FALSE(o.log);
    EXPECT_FALSE(o.date_given);

    // /1 wins over /2; the upper-case /L and /T over the lower-case ones.
    o = parse_options("/2 /1 /C a /l low.csv /L up.csv /t 2000-01-01 /T 2011-01-01 ");
    EXPECT_EQ(o.model_selector, 1);
    EXPECT_EQ(o.log_path, "up.csv");
    EXPECT_EQ(o.date_text, "2011-01-01 ");
    EXPECT_EQ(parse_options("/c x /2 ").model_selector, 2);

    EXPECT_TRUE(parse_options("/H ").usage);
    EXPECT_TRUE(parse_options("/h ").usage);
    EXPECT_TRUE(parse_options("/? ").usage);
    EXPECT_EQ(parse_options("/H ").function, BatchFunction::none);
    EXPECT_EQ(parse_options("").function, BatchFunction::none);
}

TEST(KeymapBatchOptions, FileNamesOpenAsOnWindows) {
    EXPECT_EQ(windows_open_name("x.csv "), "x.csv");
    EXPECT_EQ(windows_open_name("C:\\a b\\map.tbl. . "), "C:\\a b\\map.tbl");
    EXPECT_EQ(windows_open_name("a b"), "a b");
    EXPECT_EQ(windows_open_name(".."), "..");
    EXPECT_EQ(windows_open_name("dir\\ "), "dir\\ ");
    EXPECT_EQ(windows_open_name(""), "");
}

}  // namespace
}  // namespace keymap_download
