#include "report_tester/script_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace report_tester {
namespace {

// The private-profile reader over a table of values.
class TableSource : public ProfileSource {
  public:
    bool openable = true;
    std::uint64_t size = 100;
    std::map<std::pair<std::string, std::string>, std::string> values;
    int opens = 0;

    bool open_or_create(std::uint64_t& s) override {
        ++opens;
        s = size;
        return openable;
    }
    std::string read(const std::string& section, const char* key, std::size_t) override {
        auto it = values.find({section, key});
        return it == values.end() ? "" : it->second;
    }
};

TEST(ScriptFile, NamedSectionsBecomeEntriesWithoutGapsAndValuesAreBounded) {
    TableSource source;
    source.values = {{{"Equipment", "name"}, "Larch"},
                     {{"Equipment", "vid"}, "1FF3"},
                     {{"Send3", "data_name"}, "beep"},
                     {{"Send3", "data"}, "00,02,CS"},
                     {{"Send3", "data_file"}, std::string(400, 'f')},
                     {{"Send5", "data"}, "00"},  // no name: no entry
                     {{"Send7", "data_name"}, std::string(2000, 'n')},
                     {{"Send100", "data_name"}, "beyond the last section"}};
    Script script;
    ASSERT_EQ(load_script(source, script), ScriptStatus::loaded);
    EXPECT_EQ(script.equipment_name, "Larch");
    EXPECT_EQ(script.equipment_vid, "1FF3");
    EXPECT_EQ(script.equipment_pid, "");
    ASSERT_EQ(script.entries.size(), 2u);
    EXPECT_EQ(script.entries[0].name, "beep");
    EXPECT_EQ(script.entries[0].data, "00,02,CS");
    EXPECT_EQ(script.entries[0].data_file.size(), data_file_limit);
    EXPECT_EQ(script.entries[1].name.size(), profile_value_limit);
    EXPECT_EQ(script.entries[1].data, "");

    for (int n = 0; n < 100; ++n) {
        char section[16];
        std::snprintf(section, sizeof section, "Send%d", n);
        source.values.insert_or_assign({section, "data_name"}, std::string(1, 'e'));
    }
    ASSERT_EQ(load_script(source, script), ScriptStatus::loaded);
    EXPECT_EQ(script.entries.size(), 100u);
}

TEST(ScriptFile, MissingEmptyAndUnopenableFilesAreReported) {
    TableSource source;
    source.values = {{{"Send0", "data_name"}, "x"}};
    source.size = 0;  // also what a file just created empty measures
    Script script;
    script.entries.push_back({"stale", "", ""});
    EXPECT_EQ(load_script(source, script), ScriptStatus::empty_file);
    EXPECT_TRUE(script.entries.empty());
    EXPECT_STREQ(script_message(ScriptStatus::empty_file),
                 "FILE READ ERROR \r\n(FILE SIZE = 0 BYTE)\r\n");
    source.openable = false;
    EXPECT_EQ(load_script(source, script), ScriptStatus::open_error);
    EXPECT_STREQ(script_message(ScriptStatus::open_error), "FILE OPEN ERROR\r\n");
    EXPECT_STREQ(script_message(ScriptStatus::loaded), "");
}

TEST(ScriptFile, PathIsJoinedWithABackslashAndMustFit) {
    std::string path;
    ASSERT_TRUE(script_path("C:\\tests", path));
    EXPECT_EQ(path, "C:\\tests\\Keyboard.ini");
    const std::string longest(max_path_length - 13, 'd');
    EXPECT_TRUE(script_path(longest, path));
    EXPECT_EQ(path.size(), max_path_length);
    path = "kept";
    std::string too_long = longest;
    too_long += 'd';
    EXPECT_FALSE(script_path(too_long, path));
    EXPECT_EQ(path, "kept");
}

}  // namespace
}  // namespace report_tester
