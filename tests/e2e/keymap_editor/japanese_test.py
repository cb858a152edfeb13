"""Lexmap in Japanese (code page 932) with real clicks and keys: ganged keys, a key code whose
name holds "&", a refusal, Shift+arrows; Shift-JIS key names (second bytes 5CH) saved under a
Shift-JIS file name, opened and exported, the commands chosen in the menu by keys; the About
box and a Keymap Change whose date stamp the keyboard refuses; a table imported and the
keyboard read, each exported again. Then, in English, the other ways Keymap Change fails (no
keyboard, a negative reply to the third data frame) and a missing key code list. Screenshots
go to build/screenshots/keymap_editor/."""

import unittest

from lexmap import (CAPTION, FILENAME, GUIDE, KEY_FIRST, LIST, SIZE, LexmapTest, key,
                    keycode_names, keymap_frames, keymap_of, listing_bytes, table_bytes)

NAMES = keycode_names("ja")
AMPERSAND = NAMES.index("返品&取消")
# Names whose characters have the second byte 5CH ("\" in ASCII): 表 95 5C, ソ 83 5C; the
# last one ends with it.
SHIFT_JIS_NAMES = ["表示", "ソート", "一覧表"]


class JapaneseEditor(LexmapTest):
    language = "ja"

    def test_import_table_and_read_keyboard_then_export(self):
        self.check_import_read_and_export()

    def check_shift_jis_round_trip(self, editor):
        """Shift-JIS names on keys, saved under a Shift-JIS file name through the menu by its
        access keys, opened again after New, exported through the menu by arrow keys: the
        files hold the Shift-JIS bytes, the keys show the same names."""
        names = NAMES + SHIFT_JIS_NAMES
        display, sort, summary = (names.index(n) for n in SHIFT_JIS_NAMES)
        for name, code in (("A1", display), ("C3", sort), ("J8", summary)):
            self.gui.mouse_click(editor, KEY_FIRST + key(name))
            self.gui.select(editor, LIST, code)
            self.assertEqual(self.wait_text(editor, KEY_FIRST + key(name), names[code]),
                             names[code])
        records = {key("B7"): (AMPERSAND, 0, 0), key("C3"): (sort, 0, 4), key("H5"): (0, 0, 2),
                   key("A10"): (0, 0, 1), key("F9"): (0, 0, 1), key("A1"): (display, 0, 0),
                   key("J8"): (summary, 0, 0)}
        listing = listing_bytes(records, names, "cp932")

        saved = self.folder / "ソ表.DAT"
        self.gui.key_chord(editor, "alt+f")
        self.gui.key_chord(editor, "a")  # 名前をつけて保存(&A)
        self.choose_file(saved)
        self.assertEqual(self.file_bytes(saved, listing), listing)
        self.assertEqual(self.wait_text(editor, FILENAME, "ソ表.DAT"), "ソ表.DAT")

        self.command(editor, "new")
        self.answer(button="yes", icon="warning", text="編集内容は失われます。よろしいですか？")
        self.assertEqual(self.wait_text(editor, KEY_FIRST + key("J8"), names[0]), names[0])
        self.command(editor, "open")
        self.choose_file(saved)
        self.answer(button="yes", icon="warning", text="編集内容は失われます。よろしいですか？")
        self.assertEqual(self.wait_text(editor, FILENAME, "ソ表.DAT"), "ソ表.DAT")
        self.assert_selected(editor, "J1")  # answered once Open has ended
        for name in ("A1", "C3", "J8"):
            self.assertEqual(self.gui.text(editor, KEY_FIRST + key(name)),
                             names[records[key(name)][0]])
        self.gui.mouse_click(editor, KEY_FIRST + key("J8"))
        self.until(lambda: self.gui.listbox_selection(editor, LIST)["text"] == "一覧表",
                   "一覧表 selected in the list")
        self.shot("shift_jis_names")

        table = self.folder / "一覧表.TBL"
        self.gui.key_chord(editor, "f10")
        self.gui.key_chord(editor, "down")  # opens ファイル(&F) on its first item
        self.gui.key_chord(editor, "down", repeat=4)
        self.shot("file_menu")
        self.gui.key_chord(editor, "enter")  # キーコードファイル出力(&K)
        self.choose_file(table)
        expected = table_bytes(keymap_of(records))
        self.assertEqual(self.file_bytes(table, expected), expected)
        self.assertEqual(saved.read_bytes(), listing)

    def test_gangs_ampersand_refusal_navigation_and_refused_stamp(self):
        with (self.program / "Keycode.Jpn").open("ab") as names:
            names.write("".join(n + "\r\n" for n in SHIFT_JIS_NAMES).encode("cp932"))
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
        self.check_shift_jis_round_trip(editor)

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
