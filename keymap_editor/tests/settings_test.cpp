#include "keymap_editor/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>

#include "keymap_editor/keycode_list.h"

namespace keymap_editor {
namespace {

using Profile = std::map<std::string, std::string>;  // "section/key" → value

ProfileLookup lookup_in(const Profile& profile) {
    return [profile](std::string_view section, std::string_view key) -> std::optional<std::string> {
        auto it = profile.find(std::string(section) + "/" + std::string(key));
        if (it == profile.end()) {
            return std::nullopt;
        }
        return it->second;
    };
}

TEST(EditorSettings, LanguageRuleAndDefaults) {
    struct Case {
        unsigned code_page;
        Profile profile;
        bool japanese;
        const char* list;
    } cases[] = {
        {932, {}, true, "Keycode.Jpn"},
        {1252, {}, false, "Keycode.Eng"},
        {932, {{"Program Information/Language", "1"}}, false, "Keycode.Eng"},
        {1252, {{"Program Information/Language", "0"}}, true, "Keycode.Jpn"},
        // Not a number reads as 0.
        {1252, {{"Program Information/Language", "English"}}, true, "Keycode.Jpn"},
        {932, {{"Program Information/Language", " 2x"}}, false, "Keycode.Eng"},
        // Only the chosen language's keys are read.
        {1252,
         {{"Program Information/Keycode(JPN)", "j.lst"},
          {"Program Information/Keycode(ENG)", "lists\\e.lst"}},
         false,
         "lists\\e.lst"},
    };
    for (const Case& c : cases) {
        EditorSettings s = read_settings(c.code_page, lookup_in(c.profile));
        EXPECT_EQ(s.japanese, c.japanese) << c.code_page;
        EXPECT_EQ(s.keycode_list_name, c.list);
        EXPECT_EQ(s.font.height, 12);
        EXPECT_EQ(s.font.charset, 128);
        EXPECT_EQ(s.font.quality, 1);
    }
    EXPECT_EQ(read_settings(1252, {}).font.face, "MS Sans Serif");
    EXPECT_EQ(read_settings(932, {}).font.face,
              "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");
    EXPECT_EQ(read_settings(1252, lookup_in({{"Display Font/Size(ENG)", "20"}})).font.height, 20);
}

TEST(EditorSettings, NumbersAsThePrivateProfileReaderReadsThem) {
    // An empty value, like a missing key, gives the default: the language of the code page and
    // a 12-point font, never the Japanese editor or height 0.
    for (unsigned code_page : {1252u, 932u}) {
        const EditorSettings s =
            read_settings(code_page, lookup_in({{"Program Information/Language", ""},
                                                {"Display Font/Size(ENG)", ""},
                                                {"Display Font/Size(JPN)", ""}}));
        EXPECT_EQ(s.japanese, code_page == 932) << code_page;
        EXPECT_EQ(s.font.height, 12) << code_page;
    }
    struct Case {
        const char* value;
        int number;
    } cases[] = {
        {"20", 20},
        {"  +7pt", 7},
        {"-3", -3},
        {"0x1A", 26},
        {"0xff", 255},
        {"-0x10", -16},
        {"0X10", 0},
        {"0o17", 15},
        {"0b101", 5},
        {"0x", 0},
        {"0", 0},
        {"abc", 0},
        {"4294967297", 1},
        {"2147483648", INT32_MIN},
        {"\t9", 9},
        {"00000000000000000000000000001", 1},  // 29 characters are read
        {"000000000000000000000000000001", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(profile_int(c.value), c.number) << c.value;
        EXPECT_EQ(read_settings(1252, lookup_in({{"Display Font/Size(ENG)", c.value}})).font.height,
                  c.number)
            << c.value;
    }
    EXPECT_TRUE(read_settings(1252, lookup_in({{"Program Information/Language", "0x0"}})).japanese);
    EXPECT_FALSE(read_settings(932, lookup_in({{"Program Information/Language", "0x1"}})).japanese);
}

TEST(EditorSettings, FaceNameFitsTheFontRecord) {
    // 30 ASCII bytes and a two-byte character: the character must not be split.
    std::string face(30, 'A');
    face += "\x83\x53\x83\x56";
    Profile profile{{"Display Font/Name(JPN)", face}};
    EXPECT_EQ(read_settings(932, lookup_in(profile)).font.face, std::string(30, 'A'));
    // On a single-byte code page the same bytes are single characters.
    profile = {{"Program Information/Language", "0"}, {"Display Font/Name(JPN)", face}};
    EXPECT_EQ(read_settings(1252, lookup_in(profile)).font.face, face.substr(0, 31));
}

TEST(EditorSettings, ListPathBesideTheProgram) {
    EXPECT_EQ(keycode_list_path("C:\\Tools\\Lexmap.exe", "lists\\Keycode.Eng", false),
              "C:\\Tools\\lists\\Keycode.Eng");
    EXPECT_EQ(settings_path("C:\\Tools\\Lexmap.exe", false), "C:\\Tools\\Lexmap.INI");
    // A program renamed to "表.exe" (95 5C): its second byte is no separator under code page 932.
    EXPECT_EQ(settings_path("C:\\POS\\\x95\\.exe", true), "C:\\POS\\Lexmap.INI");
    EXPECT_EQ(keycode_list_path("C:\\POS\\\x95\\.exe", "Keycode.Jpn", true),
              "C:\\POS\\Keycode.Jpn");
    const std::string folder = "C:\\" + std::string(240, 'f') + "\\Lexmap.exe";
    EXPECT_TRUE(keycode_list_path(folder, std::string(15, 'n'), false));
    EXPECT_FALSE(keycode_list_path(folder, std::string(16, 'n'), false));  // 260 characters
}

TEST(KeycodeListText, EntriesCaptionsAndBounds) {
    KeycodeList list;
    list.parse("Null\r\nA&B\r\n\r\nlast", false);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list.name(1), "A&B");
    EXPECT_EQ(list.caption(1), "A&&B");
    EXPECT_EQ(list.name(2), "");
    EXPECT_EQ(list.name(3), "last");
    // Past the list, FFH included: empty texts.
    EXPECT_EQ(list.name(4), "");
    EXPECT_EQ(list.caption(255), "");

    list.parse("a\nb\nc\n", false);
    EXPECT_EQ(list.size(), 3u);

    // A long line is one entry, cut; the next line keeps its key code.
    list.parse(std::string(300, 'x') + "\nnext\n", false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.name(0).size(), max_entry_text);
    EXPECT_EQ(list.name(1), "next");

    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += std::to_string(i) + "\n";
    }
    list.parse(many, false);
    EXPECT_EQ(list.size(), max_keycode_entries);
    EXPECT_EQ(list.name(254), "254");
}

TEST(KeycodeListText, CaptionLimits) {
    // Doubling may not exceed the caption's room, nor end in half a pair or a character.
    EXPECT_EQ(button_caption(std::string(200, '&'), false).size(), 258u);
    std::string kanji = std::string(257, 'a') + "\x83\x53";
    EXPECT_EQ(button_caption(kanji, true), kanji.substr(0, 259));
    kanji = std::string(258, 'a') + "\x83\x53";
    EXPECT_EQ(button_caption(kanji, true), std::string(258, 'a'));
}

}  // namespace
}  // namespace keymap_editor
