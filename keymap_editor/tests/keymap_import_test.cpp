#include "keymap_editor/keymap_import.h"

#include <gtest/gtest.h>

#include <string>

#include "keymap_download/keymap_table.h"
#include "keymap_editor/listing.h"

namespace keymap_editor {
namespace {

// A key map with every key code and a valid attribute at each position; the last two rows,
// which the model does not hold, carry bytes the export replaces by FFH.
Keymap pattern_keymap(int seed) {
    constexpr std::uint8_t attributes[] = {0x00, 0x01, 0x02, 0x04, 0x10, 0x17};
    Keymap keymap;
    for (std::size_t i = 0; i < keymap_size; ++i) {
        keymap[i] = i < attribute_offset ? static_cast<std::uint8_t>(seed * 7 + 3 * i)
                    : i < 0xB0           ? attributes[(i + seed) % 6]
                                         : 0x5A;
    }
    return keymap;
}

TEST(KeymapImport, ExportOfTheImportIsTheTable) {
    Keymap all_ff;
    all_ff.fill(0xFF);
    for (std::size_t i = attribute_offset; i < 0xB0; ++i) {
        all_ff[i] = 0;
    }
    const Keymap sources[] = {build_keymap(KeymapModel{}), pattern_keymap(0), pattern_keymap(5),
                              all_ff};
    for (const Keymap& source : sources) {
        KeymapModel model;
        ASSERT_EQ(import_table(keymap_download::table_text(source), model), ImportResult::loaded);
        // Every key single, J1 current.
        for (int k = 0; k < key_count; ++k) {
            EXPECT_EQ(model.record(k).size, size_code::single) << k;
            EXPECT_EQ(model.record(k).owner, no_owner) << k;
        }
        EXPECT_EQ(model.current(), j1);
        Keymap held = source;
        std::fill(held.begin() + 0xB0, held.end(), 0xFF);
        EXPECT_EQ(build_keymap(model), held);
        EXPECT_EQ(export_text(model), keymap_download::table_text(source));
    }
}

TEST(KeymapImport, GangedModelComesBackAsSingleKeys) {
    KeymapModel ganged;
    ganged.select(12);  // B3: 2x2 over B2, C2 and C3
    ganged.record(12).keycode = 9;
    ganged.record(12).attribute = attribute::shift;
    ASSERT_EQ(ganged.set_size(SizeChoice::square), SizeOutcome::done);
    KeymapModel model;
    ASSERT_EQ(model_from_keymap(build_keymap(ganged), model), ImportResult::loaded);
    EXPECT_EQ(model.record(12).keycode, 9);
    EXPECT_EQ(model.record(12).attribute, attribute::shift);
    EXPECT_EQ(model.record(12).size, size_code::single);
    EXPECT_TRUE(model.selectable(11));
}

TEST(KeymapImport, RefusalsLeaveTheModel) {
    Keymap bad_attribute = pattern_keymap(1);
    bad_attribute[keycode_byte(j1) + attribute_offset] = 0x08;
    std::string twenty_lines = keymap_download::table_text(pattern_keymap(1), 20, 0);
    const struct {
        std::string text;
        ImportResult result;
    } cases[] = {
        {keymap_download::table_text(bad_attribute), ImportResult::attribute_wrong},
        {twenty_lines, ImportResult::form_wrong},
        {"", ImportResult::form_wrong},
        {"STARTTABLE\r\nENDTABLE\r\n", ImportResult::form_wrong},
    };
    KeymapModel model;
    ASSERT_EQ(model_from_keymap(pattern_keymap(2), model), ImportResult::loaded);
    model.select(5);
    const Keymap before = build_keymap(model);
    for (const auto& c : cases) {
        EXPECT_EQ(import_table(c.text, model), c.result) << c.text;
        EXPECT_EQ(build_keymap(model), before);
        EXPECT_EQ(model.current(), 5);
    }
}

}  // namespace
}  // namespace keymap_editor
