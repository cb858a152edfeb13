#include "keymap_download/keymap_table.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "keymap_download/tests/temp_folder.h"

namespace keymap_download {
namespace {

using Keymap = std::array<std::uint8_t, file_keymap_size>;

// A table of `lines` T lines; line n holds bytes 8n … 8n+7 of `bytes`.
std::string table_of(int lines, const Keymap& bytes, const std::string& end = "ENDTABLE\n") {
    std::string text = "STARTTABLE\n";
    for (int n = 0; n < lines; ++n) {
        char line[64];
        const std::uint8_t* b = &bytes[static_cast<std::size_t>(n) * 8];
        std::snprintf(line, sizeof line, "T,%02XH,%02XH,%02XH,%02XH,%02XH,%02XH,%02XH,%02XH  ;x\n",
                      b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
        text += line;
    }
    return text + end;
}

Keymap counting() {
    Keymap k{};
    for (std::size_t i = 0; i < k.size(); ++i) {
        k[i] = static_cast<std::uint8_t>(i);
    }
    return k;
}

TableResult read(const std::string& text, int line_count, Keymap& out) {
    out.fill(0xEE);
    return read_table(text, line_count, out);
}

TEST(KeymapTable, LineCountsPerModel) {
    Keymap all_ff;
    all_ff.fill(0xFF);
    Keymap out;
    // 24 lines fit both models; 20 lines only the ReedKey PAD.
    EXPECT_EQ(read(table_of(24, all_ff), 24, out), TableResult::accepted);
    EXPECT_EQ(read(table_of(24, all_ff), 20, out), TableResult::accepted);
    EXPECT_EQ(read(table_of(20, all_ff), 20, out), TableResult::accepted);
    EXPECT_EQ(read(table_of(20, all_ff), 24, out), TableResult::format_error);

    // Bytes land in file order, and a 20-line read leaves the rest of the buffer alone.
    const Keymap bytes = counting();
    ASSERT_EQ(read(table_of(24, bytes), 20, out), TableResult::accepted);
    for (std::size_t i = 0; i < 160; ++i) {
        ASSERT_EQ(out[i], i) << i;
    }
    EXPECT_EQ(out[160], 0xEE);
    ASSERT_EQ(read(table_of(24, bytes), 24, out), TableResult::accepted);
    EXPECT_EQ(out, bytes);
}

TEST(KeymapTable, DigitValues) {
    Keymap out;
    // Both cases of the hexadecimal digits read as their values.
    std::string text = "STARTTABLE\nT,0aH,1BH,FFH,9AH,a0H,ffH,c3H,DeH\nENDTABLE\n";
    ASSERT_EQ(read(text, 1, out), TableResult::accepted);
    const std::uint8_t expected[] = {0x0A, 0x1B, 0xFF, 0x9A, 0xA0, 0xFF, 0xC3, 0xDE};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(out[i], expected[i]) << i;
    }
    // A lower-case table for the Sparrow POS Keyboard reads in full.
    std::string lower = "STARTTABLE\n";
    for (int n = 0; n < 24; ++n) {
        lower += "T,1aH,2bH,3cH,4dH,5eH,6fH,0aH,ffH  ;x\n";
    }
    ASSERT_EQ(read(lower + "ENDTABLE\n", 24, out), TableResult::accepted);
    EXPECT_EQ(out[184], 0x1A);
    EXPECT_EQ(out[191], 0xFF);
}

TEST(KeymapTable, NonDigitsAreFormatErrors) {
    // Each group stands first on an otherwise sound line.
    const char* groups[] = {",1GH", ",g0H", ",  H", ",;;H", ",\nxH", ",0 H", ", 0H", ",x1H"};
    const std::string rest = ",00H,00H,00H,00H,00H,00H,00H\nENDTABLE\n";
    Keymap out;
    for (const char* group : groups) {
        EXPECT_EQ(read("STARTTABLE\nT" + std::string(group) + rest, 1, out),
                  TableResult::format_error)
            << group;
    }
    // In the last group of a line too.
    EXPECT_EQ(read("STARTTABLE\nT,00H,00H,00H,00H,00H,00H,00H,0-H\nENDTABLE\n", 1, out),
              TableResult::format_error);
}

TEST(KeymapTable, GroupRejections) {
    Keymap out;
    const std::string head = "STARTTABLE\n";
    const std::string rest = ",00H,00H,00H,00H,00H,00H,00H\nENDTABLE\n";
    EXPECT_EQ(read(head + "T,12H" + rest, 1, out), TableResult::accepted);
    // A blank after the comma pushes the H out of the fourth place.
    EXPECT_EQ(read(head + "T, 12H" + rest, 1, out), TableResult::format_error);
    EXPECT_EQ(read(head + "T;12H" + rest, 1, out), TableResult::format_error);
    EXPECT_EQ(read(head + "T,12h" + rest, 1, out), TableResult::format_error);
    EXPECT_EQ(read(head + "T ,12H" + rest, 1, out), TableResult::format_error);
    // Fewer than eight groups: the line feed is not a comma.
    EXPECT_EQ(read(head + "T,12H,00H\nENDTABLE\n", 1, out), TableResult::format_error);
    // Any T outside a comment starts a line while lines are read.
    EXPECT_EQ(read(head + "Table\nT,12H" + rest, 1, out), TableResult::format_error);
    // Text that ends inside a group.
    EXPECT_EQ(read(head + "T,12", 1, out), TableResult::format_error);
}

TEST(KeymapTable, CommentsAndSurroundings) {
    Keymap all_ff;
    all_ff.fill(0xFF);
    Keymap out;
    // Comments with T and STARTTABLE before the table and between lines are skipped.
    std::string text = "; STARTTABLE T comment\nxyz STARTTABLE ; T here too\n";
    text += "; T,00H a comment line\n";
    text += table_of(1, all_ff).substr(11);  // the T line and ENDTABLE
    ASSERT_EQ(read(text, 1, out), TableResult::accepted);
    EXPECT_EQ(out[0], 0xFF);

    // A commented STARTTABLE alone never opens the table.
    EXPECT_EQ(read("; STARTTABLE\nT,00H,00H,00H,00H,00H,00H,00H,00H\nENDTABLE\n", 1, out),
              TableResult::format_error);
    // Extra T lines after the model's count are ignored, even malformed ones.
    Keymap bytes = counting();
    text = table_of(24, bytes);
    text.insert(text.find("ENDTABLE"), "T,zz\n");
    ASSERT_EQ(read(text, 20, out), TableResult::accepted);
    EXPECT_EQ(out[159], 159);
    // ENDTABLE inside a comment does not count; a later one does.
    EXPECT_EQ(read(table_of(1, bytes, ";ENDTABLE\n"), 1, out), TableResult::format_error);
    EXPECT_EQ(read(table_of(1, bytes, ";ENDTABLE\nENDTABLE"), 1, out), TableResult::accepted);
    // Missing or lower-case ENDTABLE, and an empty text.
    EXPECT_EQ(read(table_of(24, bytes, ""), 24, out), TableResult::format_error);
    EXPECT_EQ(read(table_of(24, bytes, "endtable\n"), 24, out), TableResult::format_error);
    EXPECT_EQ(read("", 20, out), TableResult::format_error);
    // CR LF text (a file read in binary) is read the same way.
    std::string crlf;
    for (char c : table_of(20, bytes)) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(read(crlf, 20, out), TableResult::accepted);
}

TEST(KeymapTable, LineCountOutsideTheBufferIsRefused) {
    Keymap bytes = counting();
    std::array<std::uint8_t, 16> small{};
    EXPECT_EQ(read_table(table_of(24, bytes), 3, small), TableResult::format_error);
    EXPECT_EQ(read_table(table_of(24, bytes), 0, small), TableResult::format_error);
    EXPECT_EQ(read_table(table_of(24, bytes), 2, small), TableResult::accepted);
}

TEST(KeymapTable, WriterOutputAndReadBack) {
    const Keymap bytes = counting();
    const std::string text = table_text(bytes);
    EXPECT_EQ(text.substr(0, 12), "STARTTABLE\r\n");
    EXPECT_NE(text.find("\r\nT,00H,01H,02H,03H,04H,05H,06H,07H  ;00-07\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nT,A8H,A9H,AAH,ABH,ACH,ADH,AEH,AFH  ;A8-AF\r\n"), std::string::npos);
    // The last two rows are always FFH.
    EXPECT_NE(text.find("\r\nT,FFH,FFH,FFH,FFH,FFH,FFH,FFH,FFH  ;B0-B7\r\n"
                        "T,FFH,FFH,FFH,FFH,FFH,FFH,FFH,FFH  ;B8-BF\r\nENDTABLE\r\n"),
              std::string::npos);
    EXPECT_EQ(text.size(), 12 + 24 * 43 + 10u);
    EXPECT_EQ(text.substr(text.size() - 10), "ENDTABLE\r\n");

    Keymap out;
    ASSERT_EQ(read(text, 24, out), TableResult::accepted);
    for (std::size_t i = 0; i < 176; ++i) {
        ASSERT_EQ(out[i], bytes[i]);
    }
    EXPECT_EQ(out[176], 0xFF);
}

using KeymapTableFile = TempFolder;

TEST_F(KeymapTableFile, WriteThenLoadAndRead) {
    const Keymap bytes = counting();
    ASSERT_TRUE(write_table_file(path("a.tbl"), bytes));
    EXPECT_EQ(contents(path("a.tbl")), table_text(bytes));

    TableFile file;
    ASSERT_TRUE(file.open(path("a.tbl")));
    std::string text;
    ASSERT_EQ(file.load(text), LoadResult::loaded);
    EXPECT_FALSE(file.is_open());
    Keymap out;
    EXPECT_EQ(read(text, 24, out), TableResult::accepted);

    EXPECT_FALSE(write_table_file(path("missing/b.tbl"), bytes));
}

TEST_F(KeymapTableFile, OpenAndLoadFailures) {
    TableFile file;
    EXPECT_FALSE(file.open(path("none.tbl")));
    std::string text = "old";
    EXPECT_EQ(file.load(text), LoadResult::no_memory);  // nothing open

    ASSERT_TRUE(write_table_file(path("a.tbl"), counting()));
    ASSERT_TRUE(file.open(path("a.tbl")));
    // A file bigger than the buffer we may have counts as memory not available.
    EXPECT_EQ(file.load(text, 100), LoadResult::no_memory);
    EXPECT_FALSE(file.is_open());
    EXPECT_TRUE(text.empty());

    put(path("empty.tbl"), "");
    ASSERT_TRUE(file.open(path("empty.tbl")));
    EXPECT_EQ(file.load(text), LoadResult::loaded);
    EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace keymap_download
