// The S-record reader: what it takes into the image, what it skips, what it rejects.
#include "firmware_download/srecord.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "firmware_download/tests/keyboard_fixture.h"

namespace firmware_download {
namespace {

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first) {
    std::vector<std::uint8_t> data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = static_cast<std::uint8_t>(first + i);
    }
    return data;
}

std::string lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

struct Case {
    const char* name;
    std::string text;
    ParseOutcome outcome;
    // Image bytes to check: offset and value. Every other offset must hold 0xFF when
    // `rest_is_ff`.
    std::vector<std::pair<std::size_t, std::uint8_t>> expected;
    bool rest_is_ff = true;
};

TEST(SRecordReader, RulesAndRejections) {
    const std::string nl = "\r\n";
    const std::string s2 = s_record('2', 0xFB0010, {0x12, 0x34, 0xAB});
    const std::vector<std::pair<std::size_t, std::uint8_t>> s2_bytes = {
        {0x10, 0x12}, {0x11, 0x34}, {0x12, 0xAB}};
    std::string lower_s = s2;
    lower_s[0] = 's';
    std::string bad_digit = s_record('2', 0xFB0000, {0xAB});
    bad_digit[10] = 'G';  // for the A
    const std::vector<Case> cases = {
        {"empty file", "", ParseOutcome::format_error, {}},
        {"sound records but no S8", s2 + nl, ParseOutcome::format_error, {}, false},
        // Nothing inside the window came from a record: never a blank image.
        {"S1 only",
         s_record('1', 0x1000, bytes(16, 1)) + nl + end_record + nl,
         ParseOutcome::format_error,
         {}},
        {"S2 for another address range",
         s_record('2', 0xFA0000, {1, 2}) + nl + end_record,
         ParseOutcome::format_error,
         {}},
        {"S3 outside the window only by its top byte",
         s_record('3', 0x01FB0000, {1, 2}) + nl + end_record,
         ParseOutcome::format_error,
         {}},
        {"an S3 outside by its top byte beside one inside",
         s_record('3', 0x01FB0010, {1, 2}) + nl + s2 + nl + end_record, ParseOutcome::accepted,
         s2_bytes},
        {"a data record without data bytes is no data",
         s_record('2', 0xFB0000, {}) + nl + end_record,
         ParseOutcome::format_error,
         {}},
        {"S1 records beside S2 ones are skipped",
         s_record('1', 0x1000, bytes(16, 1)) + nl + s2 + nl + end_record, ParseOutcome::accepted,
         s2_bytes},
        {"S2 in the window", "S0030000FC" + nl + s2 + nl + end_record + nl, ParseOutcome::accepted,
         s2_bytes},
        {"S3 in the window",
         s_record('3', 0x00FBFFFE, {0x5A, 0xA5}) + nl + end_record,
         ParseOutcome::accepted,
         {{0xFFFE, 0x5A}, {0xFFFF, 0xA5}}},
        {"S9 instead of S8", s2 + nl + "S9030000FC" + nl, ParseOutcome::format_error, {}, false},
        {"S7 instead of S8",
         s2 + nl + "S70500000000FA" + nl,
         ParseOutcome::format_error,
         {},
         false},
        {"bad checksum outside the window",
         s_record('2', 0xFA0000, {1, 2}, 1) + nl + s_record('2', 0xFC0000, {3}, 1) + nl + s2 + nl +
             end_record,
         ParseOutcome::accepted, s2_bytes},
        {"bad checksum inside the window",
         s_record('2', 0xFB0000, {1, 2}, 1) + nl + end_record,
         ParseOutcome::format_error,
         {{0, 1}, {1, 2}},
         false},
        {"lower-case hex digits read as their values", lowered(s2) + nl + end_record,
         ParseOutcome::accepted, s2_bytes},
        {"lower-case checksum", s2.substr(0, 14) + lowered(s2.substr(14)) + nl + end_record,
         ParseOutcome::accepted, s2_bytes},
        // Only an upper-case "S" starts a record.
        {"a lower-case s is no record", lower_s + nl + end_record, ParseOutcome::format_error, {}},
        // Any other character in a record's digits: a damaged record, never read as 0.
        {"a letter in a data digit", bad_digit + nl + end_record, ParseOutcome::format_error, {}},
        {"a record cut short takes no line end and no S for its digits",
         "S208FB0000A52233" + nl + s_record('2', 0xFB0004, {0x55, 0x66, 0x77, 0x88}) + nl +
             s_record('2', 0xFB0008, {0xA5, 0x22, 0x33, 0x44}) + nl + end_record,
         ParseOutcome::format_error,
         {{0, 0xA5}, {1, 0x22}, {2, 0x33}},
         false},
        {"a blank in the address of a record outside the window",
         "S1051 00010203F6" + nl + s2 + nl + end_record,
         ParseOutcome::format_error,
         {}},
        {"text before the first record without an S",
         "firmware for the keyboard, build 7" + nl + s2 + nl + end_record, ParseOutcome::accepted,
         s2_bytes},
        {"an S in the text before the first record",
         "Sparrow firmware" + nl + s2 + nl + end_record,
         ParseOutcome::format_error,
         {}},
        // A record reaching into the window gives its bytes inside, checksum tested.
        {"a record running past 0xFBFFFF writes up to it",
         s_record('2', 0xFBFFF0, bytes(32, 0x40)) + nl + end_record,
         ParseOutcome::accepted,
         {{0xFFEF, 0xFF}, {0xFFF0, 0x40}, {0xFFF7, 0x47}, {0xFFFF, 0x4F}, {0x0000, 0xFF}},
         false},
        {"a record starting below 0xFB0000 writes from it",
         s_record('2', 0xFAFFF0, bytes(32, 0x40)) + nl + end_record,
         ParseOutcome::accepted,
         {{0xFFFF, 0xFF}, {0x0000, 0x50}, {0x0007, 0x57}, {0x000F, 0x5F}, {0x0010, 0xFF}},
         false},
        {"a record running past 0xFBFFFF with a bad checksum",
         s_record('2', 0xFBFFF0, bytes(32, 0x40), 7) + nl + end_record,
         ParseOutcome::format_error,
         {{0xFFFF, 0x4F}, {0x0000, 0xFF}},
         false},
        {"a record starting below 0xFB0000 with a bad checksum",
         s_record('3', 0x00FAFFFF, {1, 2}, 7) + nl + end_record,
         ParseOutcome::format_error,
         {{0x0000, 0x02}},
         false},
        {"an S3 record ending just below the window is outside",
         s_record('3', 0x00FAFFFE, {1, 2}, 7) + nl + s2 + nl + end_record, ParseOutcome::accepted,
         s2_bytes},
        {"an S3 record at the top of the address space does not wrap into the window",
         s_record('3', 0xFFFFFFFF, {1, 2}, 7) + nl + s2 + nl + end_record, ParseOutcome::accepted,
         s2_bytes},
        {"the later of two records writing one address wins",
         s_record('2', 0xFB0100, {1, 2, 3}) + nl + s_record('2', 0xFB0101, {0x99}) + nl +
             end_record,
         ParseOutcome::accepted,
         {{0x100, 1}, {0x101, 0x99}, {0x102, 3}}},
        {"anything after S8 is ignored", s2 + nl + end_record + nl + "S4 garbage S2FFFF",
         ParseOutcome::accepted, s2_bytes},
        {"S0 and S5 are not examined", "S0zz" + nl + "S5!!" + nl + s2 + nl + end_record,
         ParseOutcome::accepted, s2_bytes},
        {"records without line ends between them",
         s_record('2', 0xFB0000, {7}) + s_record('2', 0xFB0001, {8}) + "S0030000FC" +
             s_record('3', 0xFB0002, {9}) + end_record,
         ParseOutcome::accepted,
         {{0, 7}, {1, 8}, {2, 9}}},
        {"a checksum followed at once by a bad type",
         s_record('2', 0xFB0000, {7}) + "S4" + nl + end_record,
         ParseOutcome::format_error,
         {{0, 7}}},
        {"S followed by a line end", "S" + nl + end_record, ParseOutcome::format_error, {}},
        {"a data record without data bytes, checksum sound, is skipped",
         s_record('2', 0xFB0000, {}) + nl + s2 + nl + end_record, ParseOutcome::accepted, s2_bytes},
        {"a data record without data bytes and a bad checksum",
         s_record('2', 0xFB0000, {}, 1) + nl + end_record,
         ParseOutcome::format_error,
         {}},
        {"a count below the address bytes inside the window",
         s_record('2', 0xFB0000, {}, 0, 3) + nl + end_record,
         ParseOutcome::format_error,
         {}},
        {"a count below the address bytes outside the window",
         s_record('2', 0x000000, {}, 0, 1) + nl + s2 + nl + end_record, ParseOutcome::accepted,
         s2_bytes},
    };
    FirmwareImage image;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        image.fill(0x00);  // the reader must preset it
        EXPECT_EQ(read_records(c.text, image), c.outcome);
        FirmwareImage want;
        want.fill(0xFF);
        for (auto [offset, value] : c.expected) {
            EXPECT_EQ(image[offset], value) << "offset " << offset;
            want[offset] = value;
        }
        if (c.rest_is_ff) {
            EXPECT_EQ(image, want);
        }
    }
}

TEST(SRecordReader, FullImageInOneFile) {
    // 2048 S2 records of 32 bytes cover the window exactly, in reverse order: with line ends,
    // in lower-case hex, and with no line end between the records.
    FirmwareImage want;
    for (std::size_t i = 0; i < want.size(); ++i) {
        want[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 8));
    }
    std::string lines = "S00600004844521B\n";
    std::string joined = "S00600004844521B";
    for (std::size_t block = 2048; block-- > 0;) {
        std::vector<std::uint8_t> data(want.begin() + 32 * block, want.begin() + 32 * block + 32);
        const std::string record =
            s_record('2', static_cast<std::uint32_t>(window_start + 32 * block), data);
        lines += record + "\n";
        joined += record;
    }
    lines += end_record;
    joined += end_record;
    for (const std::string& text : {lines, lowered(lines), joined}) {
        FirmwareImage image;
        ASSERT_EQ(read_records(text, image), ParseOutcome::accepted);
        EXPECT_EQ(image, want);
    }
}

class FirmwareFile : public KeyboardFixture {};

TEST_F(FirmwareFile, OutcomesOfReadingAFile) {
    FirmwareImage image;
    const std::string good =
        temp_file("good.mhx", s_record('2', 0xFB0000, {0x42}) + "\r\n" + end_record + "\r\n");
    EXPECT_EQ(read_firmware_file(good, image), ParseOutcome::accepted);
    EXPECT_EQ(image[0], 0x42);
    EXPECT_EQ(read_firmware_file(good + ".missing", image), ParseOutcome::not_found);
    // Over the size limit: refused before anything is allocated or parsed.
    EXPECT_EQ(read_firmware_file(good, image, 10), ParseOutcome::cannot_read);
    EXPECT_EQ(read_firmware_file(temp_file("empty.mhx", ""), image), ParseOutcome::format_error);
    EXPECT_TRUE(firmware_file_opens(good));
    EXPECT_FALSE(firmware_file_opens(good + ".missing"));
}

}  // namespace
}  // namespace firmware_download
