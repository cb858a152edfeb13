#include "keymap_editor/listing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "keymap_download/tests/temp_folder.h"

namespace keymap_editor {
namespace {

KeycodeList sample_list(std::string_view bytes = "Null\r\nA\r\nB&C\r\nEnter") {
    KeycodeList list;
    list.parse(bytes, false);
    return list;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

KeymapModel ganged_model() {
    KeymapModel model;
    model.select(12);  // B3: 2x2 over B2, C2 and C3
    model.record(12).keycode = 3;
    EXPECT_EQ(model.set_size(SizeChoice::square), SizeOutcome::done);
    model.select(80 - 10 + 1);  // H2: 1x2 with J2 above
    EXPECT_EQ(model.set_size(SizeChoice::vertical), SizeOutcome::done);
    model.select(87);  // J8: 2x1 with J7
    model.record(87).keycode = 2;
    model.record(87).attribute = 0x13;
    EXPECT_EQ(model.set_size(SizeChoice::horizontal), SizeOutcome::done);
    model.select(81);  // J2 is absorbed: H2 covers it
    return model;
}

TEST(Listing, WrittenAndReadBack) {
    const KeycodeList list = sample_list();
    KeymapModel reset;
    std::vector<std::string> lines = lines_of(listing_text(reset, list));
    ASSERT_EQ(lines.size(), 91u);
    EXPECT_EQ(lines[0], std::string(45, '-'));
    EXPECT_EQ(lines[1], " No.   Key  Attr Size");
    EXPECT_EQ(lines[3], " A01 : 00H, 00H, 00H, Null");
    EXPECT_EQ(lines[90], " J08 : 00H, 00H, 00H, Null");

    const KeymapModel model = ganged_model();
    const std::string text = listing_text(model, list);
    lines = lines_of(text);
    EXPECT_EQ(lines[3 + 87], " J08 : 02H, 13H, 01H, B&C");
    EXPECT_EQ(lines[3 + 12], " B03 : 03H, 00H, 04H, Enter");

    KeymapModel loaded;
    loaded.record(5).keycode = 9;  // replaced as a whole
    ASSERT_EQ(load_listing(text, loaded), ListingResult::loaded);
    for (int k = 0; k < key_count; ++k) {
        const KeyRecord& a = model.record(k);
        const KeyRecord& b = loaded.record(k);
        EXPECT_EQ(std::tie(a.keycode, a.attribute, a.size, a.owner),
                  std::tie(b.keycode, b.attribute, b.size, b.owner))
            << k;
    }
    // J1 is free here; with J1 absorbed the ganged key covering it is selected.
    EXPECT_EQ(loaded.current(), j1);
    KeymapModel j1_covered;
    j1_covered.select(70);  // H1 … 1x2 with J1
    ASSERT_EQ(j1_covered.set_size(SizeChoice::vertical), SizeOutcome::done);
    ASSERT_EQ(load_listing(listing_text(j1_covered, list), loaded), ListingResult::loaded);
    EXPECT_EQ(loaded.current(), 70);
}

TEST(Listing, EveryKeyLineEndsOnce) {
    // A list without a final line end, an empty list and a code beyond the list all still
    // give 91 lines that open again, and a code past the list stays as it was.
    for (std::string_view bytes :
         {std::string_view("Null\r\nLast"), std::string_view(""), std::string_view("Null\n")}) {
        const KeycodeList list = sample_list(bytes);
        KeymapModel model;
        model.record(87).keycode = 0xFF;
        model.record(3).keycode = 1;
        const std::string text = listing_text(model, list);
        EXPECT_EQ(lines_of(text).size(), 91u);
        KeymapModel loaded;
        ASSERT_EQ(load_listing(text, loaded), ListingResult::loaded) << bytes;
        EXPECT_EQ(loaded.record(87).keycode, 0xFF);
        EXPECT_EQ(loaded.record(3).keycode, 1);
    }
    // An entry longer than a line buffer does not split its key line.
    const KeycodeList list = sample_list("Null\n" + std::string(400, 'w') + "\n");
    KeymapModel model;
    for (int k = 0; k < key_count; k += 2) {
        model.record(k).keycode = 1;
    }
    KeymapModel loaded;
    EXPECT_EQ(load_listing(listing_text(model, list), loaded), ListingResult::loaded);
}

TEST(Listing, LoaderRefusesWrongForms) {
    const std::string good = listing_text(ganged_model(), sample_list());
    auto with_line = [&](int k, const std::string& line) {
        std::vector<std::string> lines = lines_of(good);
        lines[3 + k] = line;
        std::string text;
        for (const std::string& l : lines) {
            text += l + "\r\n";
        }
        return text;
    };
    const std::string rule(45, '-');
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"attribute 08H", with_line(4, " A05 : 00H, 08H, 00H, Null")},
        {"attribute 80H", with_line(4, " A05 : 00H, 80H, 00H, Null")},
        {"2x1 in column 1", with_line(20, " C01 : 00H, 00H, 01H, Null")},
        {"2x2 in column 1", with_line(80, " J01 : 00H, 00H, 04H, Null")},
        {"1x2 on H9", with_line(78, " H09 : 00H, 00H, 02H, Null")},
        {"1x2 in row J", with_line(85, " J06 : 00H, 00H, 02H, Null")},
        {"label out of order", with_line(6, " A08 : 00H, 00H, 00H, Null")},
        {"too short", with_line(9, " A10 : 00H, 00H, 00")},
        {"header only", rule + "\r\n No.   Key  Attr Size\r\n" + rule + "\r\n"},
        {"empty", ""},
        // Gangs that contradict each other.
        {"covered twice", with_line(23, " C04 : 00H, 00H, 01H, Null")},
        {"ganged key covered", with_line(13, " B04 : 00H, 00H, 01H, Null")},
        {"ganged key inside a later block", with_line(11, " B02 : 00H, 00H, 01H, Null")},
        {"covered key with a code", with_line(22, " C03 : 01H, 00H, 00H, A")},
    };
    const KeymapModel before = ganged_model();
    for (const Case& c : cases) {
        KeymapModel model = before;
        EXPECT_EQ(load_listing(c.text, model), ListingResult::form_wrong) << c.what;
        EXPECT_EQ(model.current(), before.current()) << c.what;
        EXPECT_EQ(model.record(87).attribute, 0x13) << c.what;
    }

    // Accepted: size code 03H stays (a single key), lower-case and short hex digits, LF
    // line ends, more than 91 lines, text after column 19.
    std::string text = with_line(30, " D01 : 0aH, 1,   03H, anything at all");
    text += "extra line\r\nmore\r\n";
    for (std::size_t i = text.find("\r\n"); i != std::string::npos; i = text.find("\r\n", i)) {
        text.erase(i, 1);
    }
    KeymapModel model;
    ASSERT_EQ(load_listing(text, model), ListingResult::loaded);
    EXPECT_EQ(model.record(30).keycode, 0x0A);
    EXPECT_EQ(model.record(30).attribute, 0x01);
    EXPECT_EQ(model.record(30).size, 3);
    EXPECT_EQ(model.record(30).owner, no_owner);
    EXPECT_EQ(model.button_span(30).top_left, 30);
}

TEST(Listing, GangedOverKeptSizeCodeOpensAgain) {
    // D03, E03 and E04 carry size code 03H from an opened listing; ganging D04 over them in
    // each size gives a listing that opens again as the same model.
    const KeycodeList list = sample_list();
    KeymapModel kept;
    for (int p : {32, 42, 43}) {
        kept.record(p).size = 3;
    }
    ASSERT_EQ(load_listing(listing_text(kept, list), kept), ListingResult::loaded);
    for (SizeChoice choice : {SizeChoice::horizontal, SizeChoice::vertical, SizeChoice::square}) {
        KeymapModel model = kept;
        model.select(33);
        ASSERT_EQ(model.set_size(choice), SizeOutcome::done);
        KeymapModel loaded;
        ASSERT_EQ(load_listing(listing_text(model, list), loaded), ListingResult::loaded)
            << static_cast<int>(choice);
        for (int k = 0; k < key_count; ++k) {
            const KeyRecord& a = model.record(k);
            const KeyRecord& b = loaded.record(k);
            EXPECT_EQ(std::tie(a.keycode, a.attribute, a.size, a.owner),
                      std::tie(b.keycode, b.attribute, b.size, b.owner))
                << static_cast<int>(choice) << " " << k;
        }
        // Ungang: the released positions are plain single keys that stay selectable.
        loaded.select(33);
        ASSERT_EQ(loaded.set_size(SizeChoice::single), SizeOutcome::done);
        for (int p : {32, 42, 43}) {
            EXPECT_TRUE(loaded.selectable(p)) << p;
        }
    }
}

TEST(TableExport, ResetModel) {
    const std::vector<std::string> lines = lines_of(export_text(KeymapModel{}));
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[0], "STARTTABLE");
    EXPECT_EQ(lines[1], "T,00H,00H,00H,00H,00H,00H,00H,00H  ;00-07");
    EXPECT_EQ(lines[22], "T,00H,00H,00H,00H,00H,00H,00H,00H  ;A8-AF");
    EXPECT_EQ(lines[23], "T,FFH,FFH,FFH,FFH,FFH,FFH,FFH,FFH  ;B0-B7");
    EXPECT_EQ(lines[24], "T,FFH,FFH,FFH,FFH,FFH,FFH,FFH,FFH  ;B8-BF");
    EXPECT_EQ(lines[25], "ENDTABLE");
}

using SafeWrite = keymap_download::TempFolder;

TEST_F(SafeWrite, TargetSurvivesEveryFailure) {
    const std::string target = path("map.DAT");
    put(target, "old");
    // A user's files named like the temporary ones are never written or removed.
    put(path("~LM0000.TMP"), "user 0");
    put(path("~LM0001.TMP"), "user 1");
    ASSERT_TRUE(write_file_safely(target, "new bytes", false));
    EXPECT_EQ(contents(target), "new bytes");
    EXPECT_EQ(contents(path("~LM0000.TMP")), "user 0");
    EXPECT_EQ(contents(path("~LM0001.TMP")), "user 1");
    EXPECT_FALSE(std::filesystem::exists(path("~LM0002.TMP")));

    // The replace fails: the target keeps its bytes, no new file is left.
    SafeWriteFiles files;
    files.replace = [](auto&, auto&) { return false; };
    EXPECT_FALSE(write_file_safely(target, "lost", false, files));
    EXPECT_EQ(contents(target), "new bytes");
    EXPECT_FALSE(std::filesystem::exists(path("~LM0002.TMP")));
    EXPECT_EQ(contents(path("~LM0001.TMP")), "user 1");

    // Every temporary name taken: the write gives up after a bounded number of tries.
    int tries = 0;
    files = {};
    files.create_new = [&](const std::string&) -> std::FILE* {
        ++tries;
        errno = EEXIST;
        return nullptr;
    };
    EXPECT_FALSE(write_file_safely(target, "lost", false, files));
    EXPECT_EQ(tries, temporary_name_tries);
    EXPECT_EQ(contents(target), "new bytes");

    // The new file cannot be created (its folder does not exist): no further name is tried.
    EXPECT_FALSE(write_file_safely(path("missing/map.DAT"), "x", false));
}

// Under code page 932 the second byte of a character may be 5CH, as in ソ (83 5C) and
// 表 (95 5C): it ends no folder name.
TEST_F(SafeWrite, ShiftJisNamesKeepTheirSecondBytes) {
    struct Case {
        std::string_view path;
        bool shift_jis;
        std::string_view name;
    };
    const Case cases[] = {
        {"C:\\maps\\shop.DAT", false, "shop.DAT"},
        {"C:\\maps\\\x83\x5C\x95\x5C.DAT", true, "\x83\x5C\x95\x5C.DAT"},
        {"C:\\\x95\x5C\\a.DAT", true, "a.DAT"},
        {"Z:/x/\x88\xEA\x97\x97\x95\x5C", true, "\x88\xEA\x97\x97\x95\x5C"},
        {"C:\\caf\xE9\\a.DAT", false, "a.DAT"},  // code page 1252: one byte each
        {"A:b", true, "b"},
        {"", true, ""},
        {"d\\\x95", true, "\x95"},  // a first byte without its second
    };
    for (const Case& c : cases) {
        EXPECT_EQ(common::file_name_of(c.path, c.shift_jis), c.name) << c.path;
    }

    // The new file lies beside the target, not in a folder cut from the target's name. Stand-in
    // file operations: the C runtime of a Windows test run need not read code page 932.
    std::vector<std::string> created;
    SafeWriteFiles files;
    files.create_new = [&](const std::string& name) {
        created.push_back(name);
        return create_new_file(path("new.TMP"));
    };
    files.replace = [](auto&, auto&) { return true; };
    ASSERT_TRUE(write_file_safely("C:\\maps\\\x83\x5C\x95\x5C.DAT", "new", true, files));
    EXPECT_EQ(created, std::vector<std::string>{"C:\\maps\\~LM0000.TMP"});
    EXPECT_EQ(contents(path("new.TMP")), "new");
}

}  // namespace
}  // namespace keymap_editor
