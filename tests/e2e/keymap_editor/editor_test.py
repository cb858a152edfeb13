"""Lexmap in English, driven as a user would (real clicks and keys through guidriver): build a key
map by clicking keys, choosing key codes and attributes and ganging sizes; Shift+arrow navigation;
ganging after the window moved; Save, New (chosen in the menu with the mouse), Open (its question
answered No, the edit kept, then Yes) and Export compared byte for byte; Save As and Export over
files that exist, the save dialog's question answered No (nothing written) and Yes; Keymap Change
into the simulated Sparrow keyboard with the 12 s pause and the edited time stamp; a listing keeping
size code 03H ganged over, saved and opened again; the refusals "Key for ganging already ganged.",
"File form is wrong!", "File open failed!" and "File create failed!" (every temporary name taken,
the user's files untouched); a save to a path of 259 characters; the setting dialog that cannot be
closed; the About box; a second instance; the Exit question; a table imported and the keyboard read,
each exported again byte for byte.
Screenshots go to build/screenshots/keymap_editor/."""

import time
import unittest

from lexmap import (ATTR, FILENAME, GUIDE, KEY_FIRST, LIST, SIZE, TIMESTAMP, WM_CLOSE,
                    WM_QUERYENDSESSION, LexmapTest, key, keycode_names, keymap_frames, keymap_of, listing_bytes,
                    table_bytes)
from tavmapdl import date_frame, today

NAMES = keycode_names("en")


class Editor(LexmapTest):
    language = "en"

    def click_key(self, editor, name):
        self.gui.mouse_click(editor, KEY_FIRST + key(name))

    def checked(self, editor, ids):
        controls = self.gui.controls(editor)
        return [controls[i]["checked"] for i in ids]

    def test_import_table_and_read_keyboard_then_export(self):
        self.check_import_read_and_export()

    def test_build_save_open_export_and_apply(self):
        self.start_sim(models=(1, 2))
        process, editor = self.start_editor()

        # The start: J1 selected, the list box has the focus, today in the time stamp field.
        self.assert_selected(editor, "J1")
        self.assertEqual(self.gui.focus(editor)["id"], LIST)
        self.assertEqual(self.gui.listbox_selection(editor, LIST)["index"], 0)
        controls = self.gui.controls(editor)
        self.assertEqual(controls[TIMESTAMP]["text"], today())
        self.assertEqual(controls[FILENAME]["text"], "[New File]")
        self.assertEqual(controls[GUIDE]["text"], "Keycode : Up/Down Arrow Key")
        self.assertEqual(controls[KEY_FIRST + key("A1")]["text"], "Null Function")
        cells = {k: self.gui.rect(editor, KEY_FIRST + k)["client"] for k in range(88)}

        # A click selects a key without pressing it: the list box keeps the focus.
        self.click_key(editor, "B3")
        self.assert_selected(editor, "B3")
        self.assertEqual(self.gui.focus(editor)["id"], LIST)
        self.assertEqual(self.gui.button_state(editor, KEY_FIRST + key("B3"))["focus"], 0)
        # Down twice in the list: the key code follows at once.
        self.gui.key_chord(editor, "down")
        self.gui.key_chord(editor, "down")
        self.until(lambda: self.gui.listbox_selection(editor, LIST)["text"] == NAMES[2],
                   "second entry selected")
        self.assertEqual(self.wait_text(editor, KEY_FIRST + key("B3"), NAMES[2]), NAMES[2])
        # Attributes: Shift and Repeat; Ordinary cannot be checked while they are.
        self.gui.mouse_click(editor, ATTR["shift"])
        self.gui.mouse_click(editor, ATTR["repeat"])
        self.gui.mouse_click(editor, ATTR["ordinary"])
        self.until(lambda: self.checked(editor, ATTR.values()) == [0, 1, 1, 0, 0],
                   "Repeat and Shift checked, Ordinary not")
        self.assertEqual(self.gui.text(editor, GUIDE),
                         "Attribute : Up/Down Arrow Key and Space Key")

        # Refusals, each with its message; the size boxes go back to the key's size.
        self.click_key(editor, "B1")
        self.gui.mouse_click(editor, SIZE["2x1"])
        self.answer(text="Ganged Key won't fit.")
        self.until(lambda: self.checked(editor, SIZE.values()) == [1, 0, 0, 0],
                   "1x1 checked again")
        self.click_key(editor, "B4")
        self.gui.mouse_click(editor, SIZE["2x1"])
        self.answer(text="Can only gang Null Function key.")

        # After the window has moved, a ganged button covers exactly its cells.
        self.gui.move(editor, 30, 40)
        before = {name: self.gui.rect(editor, KEY_FIRST + key(name))["screen"]
                  for name in ("D4", "E4", "D5")}
        self.click_key(editor, "D5")
        self.gui.mouse_click(editor, SIZE["2x2"])
        covered = (before["E4"][0], before["E4"][1], before["D5"][2], before["D5"][3])
        self.until(lambda: self.gui.rect(editor, KEY_FIRST + key("D5"))["screen"] == covered,
                   "D5 spans E4 … D5")
        self.until(lambda: [self.gui.rect(editor, KEY_FIRST + key(n))["visible"]
                            for n in ("D4", "E4", "E5")] == [0, 0, 0], "D4, E4, E5 hidden")
        ganged = self.gui.rect(editor, KEY_FIRST + key("D5"))
        c4, c5 = cells[key("E4")], cells[key("D5")]
        self.assertEqual(ganged["client"], (c4[0], c4[1], c5[2], c5[3]))
        self.click_key(editor, "H2")
        self.gui.mouse_click(editor, SIZE["1x2"])
        self.click_key(editor, "J8")
        self.gui.mouse_click(editor, SIZE["2x1"])

        # Shift+arrows from the focused list box, skipping absorbed positions and wrapping.
        self.click_key(editor, "D5")
        for chord, expected in (("shift+left", "D3"), ("shift+up", "E3"), ("shift+right", "E6"),
                                ("shift+down", "D6")):
            self.gui.key_chord(editor, chord)
            self.assert_selected(editor, expected)
        self.click_key(editor, "H2")
        self.gui.key_chord(editor, "shift+up")  # J2 is covered by H2: on to A2
        self.assert_selected(editor, "A2")
        self.gui.key_chord(editor, "shift+left")
        self.gui.key_chord(editor, "shift+left")  # A1, then round to A10
        self.assert_selected(editor, "A10")
        # The second click of a double-click selects too, and presses nothing.
        self.gui.mouse_click(editor, KEY_FIRST + key("C7"), double=True)
        self.assert_selected(editor, "C7")
        self.assertEqual(self.gui.focus(editor)["id"], SIZE["2x1"])  # the last edit control
        self.shot("editor_ganged")

        records = {key("B3"): (2, 0x12, 0), key("D5"): (0, 0, 4), key("H2"): (0, 0, 2),
                   key("J8"): (0, 0, 1)}
        listing = listing_bytes(records, NAMES, "cp1252")

        # Save (no current file yet: it asks for a name), then Export.
        saved = self.folder / "shop.DAT"
        self.command(editor, "save")
        self.choose_file(saved)
        self.assertEqual(self.file_bytes(saved, listing), listing)
        self.assertEqual(self.wait_text(editor, FILENAME, "shop.DAT"), "shop.DAT")
        table = self.folder / "shop.TBL"
        self.command(editor, "export")
        self.choose_file(table)
        expected_table = table_bytes(keymap_of(records))
        self.assertEqual(self.file_bytes(table, expected_table), expected_table)
        self.assertEqual(self.gui.text(editor, FILENAME), "shop.DAT")

        # New, chosen with the mouse: "File" on the menu bar just above the client area, then
        # the first item of the menu that opens. Then Open: the same model, gangs included.
        list_box = self.gui.rect(editor, LIST)
        left = list_box["screen"][0] - list_box["client"][0]
        top = list_box["screen"][1] - list_box["client"][1]
        self.gui.mouse_click(editor, x=left + 12, y=top - 8)
        menu_left, menu_top = (int(v) for v in self.gui.find(cls="#32768")["rect"].split(",")[:2])
        self.shot("file_menu")
        self.gui.mouse_click(editor, x=menu_left + 24, y=menu_top + 12)
        self.answer(button="yes", icon="warning", text="Contents of editing are lost, Is it OK?")
        self.assertEqual(self.wait_text(editor, FILENAME, "[New File]"), "[New File]")
        # The reset runs after the question has closed.
        self.until(lambda: self.gui.rect(editor, KEY_FIRST + key("D4"))["visible"] == 1,
                   "D4 shown again after New")
        self.assert_selected(editor, "J1")
        # Open asks once the listing has been read: No keeps the edit, its keys and label.
        self.command(editor, "open")
        self.choose_file(saved)
        self.answer(button="no", icon="warning", text="Contents of editing are lost, Is it OK?")
        self.assertEqual(self.gui.text(editor, FILENAME), "[New File]")
        self.assertEqual(self.gui.rect(editor, KEY_FIRST + key("D4"))["visible"], 1)
        self.assertEqual(self.gui.text(editor, KEY_FIRST + key("B3")), NAMES[0])
        self.assert_selected(editor, "J1")
        self.command(editor, "open")
        self.choose_file(saved)
        self.answer(button="yes", icon="warning", text="Contents of editing are lost, Is it OK?")
        self.assertEqual(self.wait_text(editor, FILENAME, "shop.DAT"), "shop.DAT")
        # The label shows before the keys do; this query is answered once Open has ended.
        self.assert_selected(editor, "J1")
        self.assertEqual(self.gui.rect(editor, KEY_FIRST + key("D5"))["client"],
                         ganged["client"])
        self.assertEqual(self.gui.rect(editor, KEY_FIRST + key("J2"))["visible"], 0)
        self.assertEqual(self.gui.text(editor, KEY_FIRST + key("B3")), NAMES[2])
        # Saving again replaces the file with the same bytes.
        saved.write_bytes(b"old")
        self.command(editor, "save")
        self.assertEqual(self.file_bytes(saved, listing), listing)
        # Save As and Export over files that exist: the chooser asks first. No leaves the
        # file and the current file as they were; Yes replaces the file.
        other = self.folder / "other.DAT"
        other.write_bytes(b"mine")
        self.command(editor, "save_as")
        prompt = self.choose_file(other, confirm="no", shot="replace_question")
        self.assertEqual((prompt["icon"], prompt["text"].count("replace")), ("warning", 1))
        self.assertEqual(self.gui.text(editor, FILENAME), "shop.DAT")
        self.assertEqual(other.read_bytes(), b"mine")
        self.command(editor, "save_as")
        self.choose_file(other, confirm="yes")
        self.assertEqual(self.file_bytes(other, listing), listing)
        self.assertEqual(self.wait_text(editor, FILENAME, "other.DAT"), "other.DAT")
        table.write_bytes(b"old")
        self.command(editor, "export")
        self.choose_file(table, confirm="yes")
        self.assertEqual(self.file_bytes(table, expected_table), expected_table)

        # A listing that keeps size code 03H on F3 and E3: F4 ganged over F3 is saved in a
        # form that opens again; E3 cannot take F3, now F4's.
        kept = self.folder / "kept.DAT"
        kept.write_bytes(listing_bytes({key("F3"): (0, 0, 3), key("E3"): (0, 0, 3)}, NAMES,
                                       "cp1252"))
        self.command(editor, "open")
        self.choose_file(kept)
        self.answer(button="yes", icon="warning")
        self.assertEqual(self.wait_text(editor, FILENAME, "kept.DAT"), "kept.DAT")
        self.click_key(editor, "F4")
        self.gui.mouse_click(editor, SIZE["2x1"])
        self.until(lambda: self.gui.rect(editor, KEY_FIRST + key("F3"))["visible"] == 0,
                   "F3 hidden under F4")
        self.click_key(editor, "E3")
        self.gui.mouse_click(editor, SIZE["1x2"])
        self.answer(text="Key for ganging already ganged.")
        ganged_kept = listing_bytes({key("F4"): (0, 0, 1), key("E3"): (0, 0, 3)}, NAMES,
                                    "cp1252")
        self.command(editor, "save")
        self.assertEqual(self.file_bytes(kept, ganged_kept), ganged_kept)
        self.assertEqual(sorted(p.name for p in self.folder.glob("~LM*")), [])
        self.command(editor, "open")
        self.choose_file(kept)
        self.answer(button="yes", icon="warning")
        self.assertEqual(self.gui.rect(editor, KEY_FIRST + key("F3"))["visible"], 0)
        self.assertEqual(self.gui.rect(editor, KEY_FIRST + key("F4"))["client"],
                         (cells[key("F3")][0], cells[key("F3")][1], cells[key("F4")][2],
                          cells[key("F4")][3]))
        # A file that is no listing; a save while every temporary name is taken by a file of
        # the user's: refused, and neither the target nor those files are touched.
        wrong = self.folder / "wrong.DAT"
        wrong.write_bytes(b"not a listing\r\n")
        self.command(editor, "open")
        self.choose_file(wrong)
        self.answer(text="File form is wrong!")
        # A name that is not there: the chooser asks whether to create it, then Open fails.
        self.command(editor, "open")
        prompt = self.choose_file(self.folder / "absent.DAT", confirm="yes")
        self.assertIn("create", prompt["text"])
        self.answer(text="File open failed!")
        taken = [self.folder / f"~LM{n:04d}.TMP" for n in range(1000)]
        for n, path in enumerate(taken):
            path.write_bytes(b"mine %d" % n)
        self.command(editor, "save")
        self.answer(text="File create failed!")
        self.assertEqual(kept.read_bytes(), ganged_kept)
        self.assertEqual([p.read_bytes() for p in taken], [b"mine %d" % n for n in range(1000)])
        for path in taken:
            path.unlink()
        self.assertEqual(self.gui.text(editor, FILENAME), "kept.DAT")
        # A target path of 259 characters with a short name: the temporary file beside it has
        # a longer path than that, and the save still succeeds.
        room = 259 - len(self.win(self.folder / "L.DAT")) - 1
        deep = self.folder / ("d" * room)
        deep.mkdir()
        far = deep / "L.DAT"
        self.assertEqual(len(self.win(far)), 259)
        self.command(editor, "save_as")
        self.choose_file(far)
        self.assertEqual(self.file_bytes(far, ganged_kept), ganged_kept)
        self.assertEqual(self.wait_text(editor, FILENAME, "L.DAT"), "L.DAT")
        self.assertEqual([p.name for p in deep.iterdir()], ["L.DAT"])

        # A second editor ends at once with exit code 3.
        second = self.start_tool()
        self.assertEqual(second.wait(timeout=30).returncode, 3)

        # Keymap Change of the reset model with an edited time stamp.
        self.command(editor, "new")
        self.answer(button="yes", icon="warning")
        # F3 was under F4: shown again, the reset has run, and its date is in before ours.
        self.until(lambda: self.gui.rect(editor, KEY_FIRST + key("F3"))["visible"] == 1,
                   "F3 shown again after New")
        self.gui.set_text(editor, TIMESTAMP, "2011-01-01")
        self.sim.send("fault 1 delay 300 on 21 always")  # time to ask while it writes
        self.command(editor, "keymap_change")
        self.answer(button="yes", icon="warning", text="Keymap change is started, Is it OK?")
        setting = self.gui.find(has_id=1150, timeout_ms=20000)
        self.assertEqual(self.gui.text(setting, 1150), "Setting Keymap now...")
        self.assertEqual(setting["title"], "Sparrow Keymap Edit")
        self.shot("setting_dialog")
        # Neither Escape nor a close request ends it while the key map is written.
        self.gui.key_chord(setting, "escape")
        self.gui.post(setting, WM_CLOSE)
        time.sleep(0.5)
        self.gui.find(hwnd=hex(setting["hwnd"]), timeout_ms=1000)
        # Nor does a log-off or shutdown until the end frame's reply; in the pause before the
        # date stamp the session may end again.
        self.until(lambda: self.sim.frames(model=1, direction="in"), "the start frame")
        self.assertEqual(self.gui.send(setting, WM_QUERYENDSESSION), 0)
        self.until(lambda: self.gui.send(setting, WM_QUERYENDSESSION) != 0, "session end allowed")
        self.assertEqual(len(self.sim.frames(model=1, direction="in")), 8)  # no date stamp yet
        self.answer(icon="information", text="Keymap change has success.", timeout_ms=40000)

        frames = self.sim.frames(model=1, direction="in")
        reset = keymap_of({})
        self.assertEqual(frames[0].hex()[:26], "00 21 06 00 00 00 0F F0 26")
        self.assertEqual([f.data for f in frames],
                         keymap_frames(1, reset) + [date_frame("2011-01-01")])
        end_reply = [f for f in self.sim.frames(model=1, direction="out")
                     if f.time >= frames[7].time][0]
        self.assertGreaterEqual(frames[8].time - end_reply.time, 12.0)

        # About box, then Exit: Esc asks, No keeps the editor, the close box and Yes end it.
        self.command(editor, "about")
        about = self.gui.find(title="Version Information", timeout_ms=20000)
        self.assertIn("Version V1.0L01", [c["text"] for c in self.gui.controls(about).values()])
        self.shot("about")
        # The hooks rest while another window of the editor is active.
        before = self.pushed_keys(editor)
        self.gui.key_chord(about, "shift+left")
        self.assertEqual(self.pushed_keys(editor), before)
        self.gui.key_chord(about, "escape")
        self.gui.wait_gone(about, timeout_ms=10000)
        self.gui.key_chord(editor, "escape")
        self.answer(button="no", icon="warning", text="Contents of editing are lost, Is it OK?")
        self.gui.close(editor)
        self.answer(button="yes", icon="warning")
        self.assertEqual(process.wait(timeout=20).returncode, 0)


if __name__ == "__main__":
    unittest.main()
