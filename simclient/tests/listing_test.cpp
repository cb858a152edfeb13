#include "simclient/listing.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

namespace simclient {
namespace {

// A decoy (the keyboard collection) and the vendor interface, each with records of more than
// one report kind.
const ListedInterface sample_interfaces[] = {
    {.id = 6,
     .vendor_id = 0x1FF3,
     .product_id = 0x0002,
     .caps = {.usage = 0x0006,
              .usage_page = 0x0001,
              .report_length = {9, 0, 2},
              .button_caps = {2, 0, 0},
              .value_caps = {0, 0, 1}},
     .button_records = {{{{0x0007, 0, true, 0xE0, 0xE7}, {0x0007, 0, true, 0x00, 0x65}}, {}, {}}},
     .value_records = {{{}, {}, {{0xFF00, 3, false, 0x20, 0x20}}}}},
    {.id = 7,
     .vendor_id = 0x1FF3,
     .product_id = 0x0002,
     .caps = {.usage = 0x0001,
              .usage_page = 0xFF01,
              .report_length = {38, 38, 0},
              .value_caps = {1, 1, 0}},
     .button_records = {},
     .value_records = {{{{0xFF01, 0, true, 1, 2}}, {{0xFF01, 0, false, 1, 1}}, {}}}},
};

void expect_same(const ListedInterface& a, const ListedInterface& b) {
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.vendor_id, b.vendor_id);
    EXPECT_EQ(a.product_id, b.product_id);
    EXPECT_EQ(a.caps.usage_page, b.caps.usage_page);
    EXPECT_EQ(a.caps.usage, b.caps.usage);
    for (int k = 0; k < report_kind_count; ++k) {
        EXPECT_EQ(a.caps.report_length[k], b.caps.report_length[k]);
        EXPECT_EQ(a.caps.button_caps[k], b.caps.button_caps[k]);
        EXPECT_EQ(a.caps.value_caps[k], b.caps.value_caps[k]);
        for (auto [x, y] : {std::pair{&a.button_records[k], &b.button_records[k]},
                            std::pair{&a.value_records[k], &b.value_records[k]}}) {
            ASSERT_EQ(x->size(), y->size());
            for (std::size_t r = 0; r < x->size(); ++r) {
                EXPECT_EQ((*x)[r].usage_page, (*y)[r].usage_page);
                EXPECT_EQ((*x)[r].report_id, (*y)[r].report_id);
                EXPECT_EQ((*x)[r].is_range, (*y)[r].is_range);
                EXPECT_EQ((*x)[r].usage_min, (*y)[r].usage_min);
                EXPECT_EQ((*x)[r].usage_max, (*y)[r].usage_max);
            }
        }
    }
}

TEST(SimListing, RoundTripKeepsOrderAndEveryField) {
    const std::vector<ListedInterface> sent(std::begin(sample_interfaces),
                                            std::end(sample_interfaces));
    std::string text = format_listing(sent);
    std::vector<ListedInterface> received;
    std::string error;
    ASSERT_TRUE(parse_listing(text, received, error)) << error;
    ASSERT_EQ(received.size(), 2u);
    expect_same(received[0], sent[0]);
    expect_same(received[1], sent[1]);

    ASSERT_TRUE(parse_listing(format_listing({}), received, error)) << error;
    EXPECT_TRUE(received.empty());
}

TEST(SimListing, ReadsTheDocumentedTextWithCrLfAndBlankLines) {
    std::vector<ListedInterface> received;
    std::string error;
    ASSERT_TRUE(
        parse_listing("interface 3 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0\r\n"
                      "\n"
                      "value input FF01 0 0001 0002 range\r\n"
                      "value output FF01 0 0001 0001 single\r\n"
                      "end\r\n"
                      "\r\n",  // blank lines after the end are no text
                      received, error))
        << error;
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].product_id, 0x0001);
    EXPECT_EQ(received[0].caps.usage_page, 0xFF01);
    ASSERT_EQ(received[0].value_records[0].size(), 1u);
    EXPECT_EQ(received[0].value_records[0][0].usage_max, 2);
}

TEST(SimListing, RejectsBrokenListingsAndLeavesTheResultAlone) {
    const std::string good_interface = "interface 1 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0\n";
    const char* broken[] = {
        "",                                                             // nothing at all
        "interface 1 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0\n",        // cut before its end
        "value input FF01 0 0001 0001 single\nend\n",                   // record without interface
        "interface 1 1FF3 001 FF01 0001 38 38 0 0 0 0 1 1 0\nend\n",    // 3-digit ID
        "interface 1 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1\nend\n",     // field missing
        "interface -1 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0\nend\n",  // negative id
        "interface 1 1FF3 0001 FF01 0001 70000 38 0 0 0 0 1 1 0\nend\n",  // length > 16 bit
        "interface 1 1FF3 0001 FF01 0001 38x 38 0 0 0 0 1 1 0\nend\n",    // trailing junk
        "end\nend\n",                                                     // text after the end
        "keyboard 1\nend\n",                                              // unknown record
    };
    const char* broken_records[] = {
        "value input FF01 256 0001 0001 single\n",  // report ID beyond a byte
        "value input FF01 0 0003 0001 range\n",     // range upside down
        "value input FF01 0 0001 0002 single\n",    // single usage with two values
        "button report FF01 0 0001 0001 single\n",  // unknown kind
        "button input FF01 0 0001 0001\n",          // range/single missing
    };
    std::vector<ListedInterface> kept(1);
    kept[0].id = 99;
    std::string error;
    for (const char* text : broken) {
        EXPECT_FALSE(parse_listing(text, kept, error)) << text;
        EXPECT_FALSE(error.empty());
    }
    for (const char* record : broken_records) {
        error.clear();
        EXPECT_FALSE(parse_listing(good_interface + record + "end\n", kept, error)) << record;
        EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].id, 99);
}

TEST(SimListing, RefusesRecordsThatDisagreeWithTheCountsOfTheirInterface) {
    // A consistent interface: one input and one output value capability.
    const std::string good =
        "interface 1 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0\n"
        "value input FF01 0 0001 0002 range\n"
        "value output FF01 0 0001 0001 single\n";
    struct Case {
        std::string interface;  // interface 3, without the end line
        std::string why;
    };
    const Case cases[] = {
        {"interface 3 1FF3 0001 FF01 0001 38 38 0 5 0 0 1 1 0\n",
         "promises 5 input button capabilities but lists 0"},
        {"interface 3 1FF3 0001 FF01 0001 38 38 0 0 0 0 0 0 0\n"
         "button input 0007 0 0001 0002 range\n",
         "promises 0 input button capabilities but lists 1"},
        // Right number of records, wrong report kind.
        {"interface 3 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 0 0\n"
         "value output FF01 0 0001 0001 single\n",
         "promises 1 input value capabilities but lists 0"},
        // Buttons where the header says values.
        {"interface 3 1FF3 0001 FF01 0001 38 38 0 0 0 0 0 0 1\n"
         "button feature FF01 0 0001 0001 single\n",
         "promises 0 feature button capabilities but lists 1"},
    };
    std::vector<ListedInterface> received;
    std::string error;
    for (const Case& c : cases) {
        // Checked at the end line, when the next interface begins, and named by its own line.
        const std::pair<std::string, std::string> listings[] = {
            {c.interface + "end\n", "line 1: interface 3 "},
            {c.interface + good + "end\n", "line 1: interface 3 "},
            {good + c.interface + "end\n", "line 4: interface 3 "},
        };
        for (const auto& [text, where] : listings) {
            error.clear();
            EXPECT_FALSE(parse_listing(text, received, error)) << text;
            EXPECT_NE(error.find(where + c.why), std::string::npos) << error;
        }
    }
    ASSERT_TRUE(parse_listing(good + good + "end\n", received, error)) << error;
    EXPECT_EQ(received.size(), 2u);
}

TEST(SimListing, BoundsHowMuchAListingMayHold) {
    std::string many_interfaces;
    for (int i = 0; i < 300; ++i) {
        many_interfaces += "interface 1 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0\n";
    }
    std::string many_records = "interface 1 1FF3 0001 FF01 0001 38 38 0 300 0 0 0 0 0\n";
    for (int i = 0; i < 300; ++i) {
        many_records += "button input 0009 0 0001 0001 single\n";
    }
    std::vector<ListedInterface> received;
    std::string error;
    EXPECT_FALSE(parse_listing(many_interfaces + "end\n", received, error));
    EXPECT_FALSE(parse_listing(many_records + "end\n", received, error));
}

TEST(SimListing, MaxUsageListLengthCountsTheButtonsOfOnePage) {
    std::vector<CapabilityRecord> buttons = {
        {0x0007, 0, true, 0xE0, 0xE7},   // 8 modifier keys
        {0x0007, 0, true, 0x00, 0x65},   // 102 keys
        {0x0009, 0, false, 0x01, 0x01},  // one button of another page
    };
    EXPECT_EQ(max_usage_list_length(buttons, 0x0007), 110u);
    EXPECT_EQ(max_usage_list_length(buttons, 0x0009), 1u);
    EXPECT_EQ(max_usage_list_length(buttons, 0), 111u);
    EXPECT_EQ(max_usage_list_length(buttons, 0xFF01), 0u);
}

}  // namespace
}  // namespace simclient
