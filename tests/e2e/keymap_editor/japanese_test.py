"""Lexmap in Japanese (code page 932) with real clicks and keys: ganged keys, a key code whose
name holds "&", a refusal, Shift+arrows, the About box and a Keymap Change whose date stamp
the keyboard refuses; a table imported and the keyboard read, each exported again. Then, in
English, the other ways Keymap Change fails (no keyboard, a negative reply to the third data
frame) and a missing key code list. Screenshots go to build/screenshots/keymap_editor/."""

import unittest

from lexmap import (CAPTION, FILENAME, GUIDE, KEY_FIRST, LIST, SIZE, LexmapTest, key,
                    keycode_names, keymap_frames, keymap_of)

NAMES = keycode_names("ja")
AMPERSAND = NAMES.index("返品&取消")


class JapaneseEditor(LexmapTest):
    language = "ja"

    def test_import_table_and_read_keyboard_then_export(self):
        self.check_import_read_and_export()

    def test_gangs_ampersand_refusal_navigation_and_refused_stamp(self):
        self.start_sim(models=(1, 2), commands=["fault 1 nak on 08"])
        process, editor = self.start_editor()
        controls = self.gui.controls(editor)
        self.assertEqual(controls[FILENAME]["text"], "[新規]")
        self.assertEqual(controls[GUIDE]["text"], "キーコード : ↑/↓キー")
        self.assert_selected(editor, "J1")

        # A name with "&": one in the list, two in the button's text (the button shows one).
        self.gui.mouse_click(editor, KEY_FIRST + key("B7"))
        for step in range(0, AMPERSAND, 8):  # a few at a time, so none is lost
            self.gui.key_chord(editor, "down", repeat=min(8, AMPERSAND - step))
        self.until(lambda: self.gui.listbox_selection(editor, LIST)["text"] == "返品&取消",
                   "the entry with & selected")
        self.assertEqual(self.wait_text(editor, KEY_FIRST + key("B7"), "返品&&取消"), "返品&&取消")

        for name, size in (("C3", "2x2"), ("H5", "1x2"), ("A10", "2x1"), ("F9", "2x1")):
            self.gui.mouse_click(editor, KEY_FIRST + key(name))
            self.gui.mouse_click(editor, SIZE[size])
        self.gui.mouse_click(editor, KEY_FIRST + key("J3"))
        self.gui.mouse_click(editor, SIZE["1x2"])
        self.answer(text="結合するキーがありません。")
        for chord, expected in (("shift+up", "A3"), ("shift+down", "J3"), ("shift+left", "J2"),
                                ("shift+down", "H2")):
            self.gui.key_chord(editor, chord)
            self.assert_selected(editor, expected)
        # A click on a covered cell lands on the ganged key over it.
        self.gui.mouse_click(editor, KEY_FIRST + key("D2"))
        self.assert_selected(editor, "C3")
        self.shot("editor_ganged")

        self.command(editor, "about")
        about = self.gui.find(title="バージョン情報", timeout_ms=20000)
        self.shot("about")
        self.gui.click(about, 1)
        self.gui.wait_gone(about, timeout_ms=10000)

        # The key map is written, the date stamp refused: the command failed.
        self.command(editor, "keymap_change")
        self.answer(button="yes", icon="warning",
                    text="キーマップの変更を開始します。よろしいですか？")
        setting = self.gui.find(has_id=1150, timeout_ms=20000)
        self.assertEqual(self.gui.text(setting, 1150), "キーマップ設定中・・・")
        self.shot("setting_dialog")
        self.answer(text="キーマップの変更が失敗しました。", timeout_ms=40000)
        frames = self.sim.frames(model=1, direction="in")
        self.assertEqual([f.data[1] for f in frames], [0x21] * 8 + [0x08])
        self.assertGreaterEqual(frames[8].time - frames[7].time, 12.0)

        self.command(editor, "exit")
        self.answer(button="yes", icon="warning", text="編集内容は失われます。よろしいですか？")
        self.assertEqual(process.wait(timeout=20).returncode, 0)


class Failures(LexmapTest):
    language = "en"

    def test_apply_failures_and_missing_list(self):
        sim = self.start_sim(models=(1, 2))
        process, editor = self.start_editor()

        # No keyboard: the setting dialog closes at once, nothing is sent.
        sim.send("unplug 1")
        self.command(editor, "keymap_change")
        self.answer(button="yes", icon="warning")
        self.answer(text="Keymap change failed.", timeout_ms=20000)
        self.assertEqual(sim.frames(model=1, direction="in"), [])

        # A negative reply to the third data frame: no more data, no end frame, no stamp.
        sim.send("plug 1")
        sim.send("fault 1 nak on 21:00:01 at 3")
        self.command(editor, "keymap_change")
        self.answer(button="yes", icon="warning")
        self.answer(text="Keymap change failed.", timeout_ms=20000)
        sent = [f.data for f in sim.frames(model=1, direction="in")]
        self.assertEqual(sent, keymap_frames(1, keymap_of({}))[:4])

        self.command(editor, "exit")
        self.answer(button="yes", icon="warning")
        self.assertEqual(process.wait(timeout=20).returncode, 0)

        # Without its key code list the editor does not start.
        (self.program / "Keycode.Eng").unlink()
        missing = self.start_tool()
        box = self.gui.message(title=CAPTION["en"], has_id=0xFFFF, timeout_ms=30000)
        self.assertEqual((box["text"], box["icon"]), ("The key code list is not found.", "error"))
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")
        self.assertEqual(missing.wait(timeout=20).returncode, 3)


if __name__ == "__main__":
    unittest.main()
