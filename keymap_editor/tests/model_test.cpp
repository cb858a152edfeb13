#include "keymap_editor/model.h"

#include <gtest/gtest.h>

#include <numeric>

#include "keymap_editor/keymap_layout.h"

namespace keymap_editor {
namespace {

// "B2" → key index.
int at(const char* name) {
    const std::string rows = "ABCDEFGHJ";
    return key_index(static_cast<int>(rows.find(name[0])), std::atoi(name + 1));
}

TEST(KeyPositions, IndexesLabelsNeighbours) {
    EXPECT_EQ(at("A1"), 0);
    EXPECT_EQ(at("A10"), 9);
    EXPECT_EQ(at("H10"), 79);
    EXPECT_EQ(at("J8"), 87);
    EXPECT_EQ(key_label(0), "A01");
    EXPECT_EQ(key_label(79), "H10");
    EXPECT_EQ(key_label(87), "J08");
    EXPECT_FALSE(left_of(at("J1")));
    EXPECT_EQ(above(at("H8")), at("J8"));
    EXPECT_FALSE(above(at("H9")));
    EXPECT_FALSE(above(at("J3")));
    EXPECT_EQ(above_left(at("B2")), at("C1"));
    EXPECT_FALSE(above_left(at("B1")));
}

SizeOutcome gang(KeymapModel& model, const char* key, SizeChoice choice) {
    model.select(at(key));
    return model.set_size(choice);
}

TEST(Ganging, Refusals) {
    using S = SizeChoice;
    using O = SizeOutcome;
    struct Case {
        const char* key;
        S size;
        O outcome;
    } cases[] = {
        {"B1", S::horizontal, O::no_room}, {"J1", S::horizontal, O::no_room},
        {"H9", S::vertical, O::no_room},   {"H10", S::vertical, O::no_room},
        {"J4", S::vertical, O::no_room},   {"A1", S::square, O::no_room},
        {"H9", S::square, O::no_room},     {"J2", S::square, O::no_room},
        {"J8", S::square, O::no_room},     {"H2", S::square, O::done},
        {"J8", S::horizontal, O::done},    {"H8", S::vertical, O::done},
    };
    for (const Case& c : cases) {
        KeymapModel model;
        EXPECT_EQ(gang(model, c.key, c.size), c.outcome) << c.key;
        if (c.outcome != O::done) {
            EXPECT_EQ(model.record(at(c.key)).size, 0) << c.key;
            EXPECT_EQ(model.record(at(c.key)).owner, no_owner) << c.key;
        }
    }

    // A position with a key code is not a Null Function key, even when free.
    for (const char* blocker : {"B1", "C1", "C2"}) {
        KeymapModel model;
        model.record(at(blocker)).keycode = 5;
        EXPECT_EQ(gang(model, "B2", S::square), O::not_null_function) << blocker;
        EXPECT_EQ(model.record(at("B1")).owner, no_owner);
    }

    // A 2x2 at B3 covers B2, C2 and C3; a 2x1 at C4 wants C3.
    KeymapModel model;
    ASSERT_EQ(gang(model, "B3", S::square), O::done);
    EXPECT_EQ(gang(model, "C4", S::horizontal), O::already_ganged);
    EXPECT_EQ(model.record(at("C4")).size, 0);
    EXPECT_EQ(model.record(at("C3")).owner, at("B3"));
    // The ganged key itself is taken too.
    EXPECT_EQ(gang(model, "B4", S::horizontal), O::already_ganged);
}

TEST(Ganging, ChangingSizesReleasesInOrder) {
    KeymapModel model;
    const int b2 = at("B2");
    ASSERT_EQ(gang(model, "B2", SizeChoice::square), SizeOutcome::done);
    for (const char* p : {"B1", "C1", "C2"}) {
        EXPECT_EQ(model.record(at(p)).owner, b2) << p;
        EXPECT_FALSE(model.selectable(at(p))) << p;
    }
    EXPECT_EQ(model.record(b2).size, 4);
    EXPECT_EQ(model.button_span(b2).top_left, at("C1"));

    ASSERT_EQ(model.set_size(SizeChoice::vertical), SizeOutcome::done);
    EXPECT_EQ(model.record(at("B1")).owner, no_owner);
    EXPECT_EQ(model.record(at("C1")).owner, no_owner);
    EXPECT_EQ(model.record(at("C2")).owner, b2);
    EXPECT_EQ(model.button_span(b2).top_left, at("C2"));

    ASSERT_EQ(model.set_size(SizeChoice::horizontal), SizeOutcome::done);
    EXPECT_EQ(model.record(at("C2")).owner, no_owner);
    EXPECT_EQ(model.record(at("B1")).owner, b2);

    ASSERT_EQ(model.set_size(SizeChoice::single), SizeOutcome::done);
    for (int k = 0; k < key_count; ++k) {
        EXPECT_EQ(model.record(k).owner, no_owner) << k;
    }
    EXPECT_EQ(model.record(b2).size, 0);
    EXPECT_EQ(model.button_span(b2).top_left, b2);
}

TEST(Attributes, BoxesStayConsistent) {
    using B = AttributeBox;
    KeymapModel model;
    AttributeBoxes boxes = attribute_boxes_of(0);
    model.toggle_attribute(B::shift, true, boxes);
    EXPECT_EQ(model.record(j1).attribute, 0x02);
    EXPECT_FALSE(boxes.ordinary);
    model.toggle_attribute(B::shift, false, boxes);
    EXPECT_EQ(model.record(j1).attribute, 0);
    EXPECT_TRUE(boxes.ordinary);

    // Ordinary cannot be unchecked by clicking it.
    model.toggle_attribute(B::ordinary, false, boxes);
    EXPECT_TRUE(boxes.ordinary);

    model.toggle_attribute(B::ctrl, true, boxes);
    model.toggle_attribute(B::ordinary, true, boxes);  // refused: Ctrl is checked
    EXPECT_FALSE(boxes.ordinary);
    EXPECT_EQ(model.record(j1).attribute, 0x01);

    model.toggle_attribute(B::repeat, true, boxes);
    model.toggle_attribute(B::shift, true, boxes);
    model.toggle_attribute(B::alt, true, boxes);
    EXPECT_EQ(model.record(j1).attribute, 0x17);
    EXPECT_EQ(attribute_boxes_of(0x17),
              (AttributeBoxes{false, true, true, true, true}));  // every bit's box checked
    model.toggle_attribute(B::ctrl, false, boxes);
    EXPECT_EQ(model.record(j1).attribute, 0x16);
    EXPECT_FALSE(boxes.ordinary);
}

TEST(Keycodes, SelectionOutsideTheListChangesNothing) {
    KeymapModel model;
    EXPECT_TRUE(model.set_keycode(2, 3));
    EXPECT_EQ(model.record(j1).keycode, 2);
    EXPECT_FALSE(model.set_keycode(-1, 3));  // no selection
    EXPECT_FALSE(model.set_keycode(3, 3));
    EXPECT_FALSE(model.set_keycode(0, 0));
    EXPECT_EQ(model.record(j1).keycode, 2);
}

TEST(Navigation, WrapsAndSkipsAbsorbedPositions) {
    using D = Direction;
    struct Case {
        const char* from;
        D direction;
        const char* to;
    } cases[] = {
        {"A1", D::left, "A10"}, {"J1", D::left, "J8"},   {"J3", D::up, "A3"},
        {"H10", D::up, "A10"},  {"A9", D::down, "H9"},   {"A2", D::down, "J2"},
        {"J8", D::right, "J1"}, {"C10", D::right, "C1"}, {"H3", D::up, "J3"},
        {"J5", D::down, "H5"},  {"D4", D::left, "D3"},
    };
    for (const Case& c : cases) {
        KeymapModel model;
        model.select(at(c.from));
        EXPECT_EQ(model.navigate(c.direction), at(c.to)) << c.from;
    }

    KeymapModel model;
    ASSERT_EQ(gang(model, "B3", SizeChoice::horizontal), SizeOutcome::done);
    model.select(at("B1"));
    EXPECT_EQ(model.navigate(D::right), at("B3"));
    model.select(at("B3"));
    EXPECT_EQ(model.navigate(D::left), at("B1"));
}

TEST(KeymapLayout, ResetAndPositions) {
    KeymapModel model;
    Keymap keymap = build_keymap(model);
    for (std::size_t i = 0; i < keymap_size; ++i) {
        EXPECT_EQ(keymap[i], i < 176 ? 0 : 0xFF) << i;
    }
    EXPECT_EQ(std::accumulate(keymap.begin(), keymap.end(), 0), 0x0FF0);

    struct Case {
        const char* key;
        int byte;
    } cases[] = {{"J1", 0x54}, {"A10", 0x00}, {"H10", 0x07}, {"A9", 0x08},
                 {"H2", 0x47}, {"A1", 0x48},  {"J8", 0x4D},  {"J4", 0x57}};
    for (const Case& c : cases) {
        model.reset();
        model.record(at(c.key)).keycode = 0x33;
        model.record(at(c.key)).attribute = 0x12;
        keymap = build_keymap(model);
        EXPECT_EQ(keymap[c.byte], 0x33) << c.key;
        EXPECT_EQ(keymap[c.byte + 0x58], 0x12) << c.key;
        EXPECT_EQ(std::accumulate(keymap.begin(), keymap.end(), 0), 0x0FF0 + 0x45) << c.key;
    }
}

}  // namespace
}  // namespace keymap_editor
