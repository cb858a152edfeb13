"""TAVmapDL's dialogs driven by guidriver.exe under Xvfb, in one language per run:
`gui_test.py en` or `gui_test.py ja` (Japanese: code page 932). A whole download through the
dialogs, the error paths, closing while writing, the keyboard's key map saved by its button
(and a failed read), a second instance; screenshots of every dialog go to
build/screenshots/keymap_download/."""

import sys
import time
import unittest

import harness
from tavmapdl import (BATCH_TITLE, ENGLISH_ENV, JAPANESE_ENV, MAIN_TITLE_EN, MAIN_TITLE_JA,
                      ToolTest, date_frame, keymap_frames, keymap_state, state_keymap,
                      table_text, today, write_table)

LANGUAGE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("en", "ja") else "en"

TEXTS = {
    "en": {
        "env": ENGLISH_ENV,
        "title": MAIN_TITLE_EN,
        "reading": "Reading....",
        "writing": "Writing....",
        "confirm": "The Keymap is downloaded, Is it OK ?",
        "success": "The transmission of the file ended normally.",
        "transfer_failed": "The transmission of the file ended abnormally.",
        "format_error": "File format error.",
        "not_found": "The file is not found.",
        "no_file_name": "Please input the file name.",
        "date_window": "Download data stamp renovation...",
        "instruction": "Please set the file name and push the Run button if you want to "
                       "rewrite the key map of the Panel. \nPlease never turn off the power "
                       "supply of the device while downloading the key map",
        "controls": {1017: "Sparrow POS &Keyboard", 1018: "&ReedKey PAD", 1001: "R&eference",
                     1009: "&Run", 1010: "&Cancel"},
        "edited_date": "2012-03-04",
        "save_button": "Sa&ve the keyboard's key map",
        "keymap_saved": "The keyboard's key map was saved.",
        "keymap_not_read": "The key map cannot be read from the keyboard.",
    },
    "ja": {
        "env": JAPANESE_ENV,
        "title": MAIN_TITLE_JA,
        "reading": "ファイル読み込み中....",
        "writing": "書き換え中....",
        "confirm": "キーマップをダウンロードします。\nよろしいですか？",
        "success": "ファイル転送正常終了。",
        "transfer_failed": "ファイル転送異常終了。",
        "format_error": "ファイルフォーマットエラー。",
        "not_found": "ファイルが見つかりません。",
        "no_file_name": "ファイル名を入力してください。",
        "date_window": "ダウンロード日付更新中...",
        "instruction": "キーマップをダウンロードする場合は、ファイル名を指定して実行ボタンを押し"
                       "て下さい。\nダウンロード中は、装置の電源を切らないでください。",
        "controls": {1017: "Sparrow POS Keyboard(&K)", 1018: "ReedKey PAD(&T)", 1001: "参照(&E)",
                     1009: "実行(&R)", 1010: "キャンセル(&C)"},
        # Shorter than ten characters: sent with zero bytes after it.
        "edited_date": "2013-5-6",
        "save_button": "キーマップの保存(&V)",
        "keymap_saved": "キーボードのキーマップを保存しました。",
        "keymap_not_read": "キーボードからキーマップを読み込めません。",
    },
}[LANGUAGE]

SPARROW_OLD = bytes((3 * i) & 0xFF for i in range(192))
SPARROW_NEW = bytes((3 * i + 7) & 0xFF for i in range(192))
WM_CLOSE = 0x0010
WM_QUERYENDSESSION = 0x0011


class Dialogs(ToolTest):
    def shot(self, name):
        time.sleep(0.4)  # let the newest window finish painting
        return self.screenshot(f"{LANGUAGE}_{name}")

    def start_gui(self):
        process = self.start_tool(language=TEXTS["env"])
        main = self.gui.find(title=TEXTS["title"], has_id=1027, timeout_ms=20000)
        return process, main

    def answer(self, caption, button="ok", icon="error", text=None):
        box = self.gui.message(title=caption, timeout_ms=20000)
        self.assertEqual(box["icon"], icon)
        if text is not None:
            self.assertEqual(box["text"], text)
        self.gui.message(hwnd=hex(box["hwnd"]), button=button)
        return box

    def wait_progress(self, status):
        """Polls the progress dialog until its status line reads `status`."""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            progress = self.gui.find(has_id=1006, timeout_ms=20000)
            controls = self.gui.controls(progress)
            if controls[1004]["text"] == status:
                return progress, controls
            time.sleep(0.05)
        self.fail(f"progress status never read {status!r}")

    def test_whole_download_through_the_dialogs(self):
        self.start_sim(models=(1, 2), state=keymap_state(1, SPARROW_OLD),
                       commands=["fault 1 delay 400 on 21 always"])  # time to watch it write
        table = write_table(self.folder, "new.tbl", SPARROW_NEW)
        process, main = self.start_gui()

        controls = self.gui.controls(main)
        self.assertEqual(controls[1027]["text"], today())
        self.assertEqual(controls[1000]["text"], "")
        self.assertEqual(controls[1018]["checked"], 1)
        self.assertEqual(controls[1017]["checked"], 0)
        self.assertEqual(controls[1040]["text"], TEXTS["instruction"])
        for control_id, text in TEXTS["controls"].items():
            self.assertEqual(controls[control_id]["text"], text)
        self.shot("main")

        self.gui.check(main, 1017)
        self.gui.set_text(main, 1027, TEXTS["edited_date"])
        self.gui.set_text(main, 1000, self.win(table))
        self.gui.click(main, 1009)

        box = self.gui.message(title="Download tool", timeout_ms=20000)
        self.assertEqual((box["text"], box["icon"], box["buttons"]),
                         (TEXTS["confirm"], "warning", "yes,no"))
        progress, _ = self.wait_progress(TEXTS["reading"])
        self.shot("confirm")
        self.gui.message(hwnd=hex(box["hwnd"]), button="yes")

        progress, controls = self.wait_progress(TEXTS["writing"])
        self.assertEqual(controls[1009]["text"], "*")
        # Closing the main dialog (or its Cancel) while the keyboard is written is ignored.
        self.gui.close(main)
        self.gui.click(main, 1010, via="command")
        deadline = time.monotonic() + 10
        while self.gui.controls(progress)[1006]["position"] == 0:
            self.assertLess(time.monotonic(), deadline, "the progress bar never moved")
        self.shot("progress")
        # A log-off or shutdown is refused while the key map is written.
        self.assertEqual(self.gui.send(progress, WM_QUERYENDSESSION), 0)

        stamp_window = self.gui.find(has_id=1041, timeout_ms=20000)
        self.assertEqual(self.gui.text(stamp_window, 1041), TEXTS["date_window"])
        self.shot("date_stamp_window")
        self.assertEqual(self.sim.frames(model=1, direction="in")[-1].data[1], 0x21)

        box = self.gui.message(title="Download tool success", timeout_ms=30000)
        self.assertEqual((box["text"], box["icon"]), (TEXTS["success"], "information"))
        self.gui.absent(has_id=1041)
        self.shot("success")
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")

        self.assertEqual(self.frames_in(1),
                         keymap_frames(1, SPARROW_NEW) + [date_frame(TEXTS["edited_date"])])
        self.assertEqual(state_keymap(self.sim.state_text(), 1)[0], SPARROW_NEW)

        self.gui.find(hwnd=hex(main["hwnd"]))  # still open after all that
        self.assertNotEqual(self.gui.send(main, WM_QUERYENDSESSION), 0)
        self.gui.click(main, 1010)
        self.assertEqual(process.wait(timeout=20).returncode, 0)

    def test_error_paths_keep_the_main_dialog_open(self):
        self.start_sim(models=(1, 2), state=keymap_state(1, SPARROW_OLD),
                       commands=["fault 1 nak on 21:00:01 at 2"])
        good = write_table(self.folder, "good.tbl", SPARROW_NEW)
        short = write_table(self.folder, "short.tbl", SPARROW_NEW, lines=20)
        process, main = self.start_gui()
        self.gui.check(main, 1017)

        self.gui.set_text(main, 1000, "")
        self.gui.click(main, 1009)
        self.answer("Download tool failure", text=TEXTS["no_file_name"])

        self.gui.set_text(main, 1000, self.win(self.folder / "none.tbl"))
        self.gui.click(main, 1009)
        box = self.gui.message(title="Download tool failure", timeout_ms=20000)
        self.assertEqual((box["text"], box["icon"]), (TEXTS["not_found"], "error"))
        self.gui.absent(has_id=1006)  # no progress dialog
        self.shot("failure")
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")

        self.gui.set_text(main, 1000, self.win(short))  # 20 lines: too few for a Sparrow
        self.gui.click(main, 1009)
        self.answer("Download tool", button="yes", icon="warning")
        self.answer("Download tool failure", text=TEXTS["format_error"])

        self.gui.set_text(main, 1000, self.win(good))
        self.gui.click(main, 1009)
        self.answer("Download tool", button="no", icon="warning")
        self.gui.wait_gone(has_id=1006, timeout_ms=10000)
        time.sleep(0.5)
        self.gui.absent(cls="#32770", title="Download tool failure")
        self.gui.absent(cls="#32770", title="Download tool success")
        self.assertEqual(self.sim.frames(model=1), [])  # untouched so far

        self.gui.click(main, 1009)
        self.answer("Download tool", button="yes", icon="warning")
        self.answer("Download tool failure", text=TEXTS["transfer_failed"])
        self.assertEqual(self.frames_in(1), keymap_frames(1, SPARROW_NEW)[:3])

        # Cancelling the file chooser puts back the name Run took last.
        self.gui.set_text(main, 1000, "typed but not run")
        self.gui.click(main, 1001)
        chooser = self.gui.find(cls="#32770", has_id=1148, timeout_ms=20000)
        self.gui.message(hwnd=hex(chooser["hwnd"]), button="cancel")
        self.assertEqual(self.gui.text(main, 1000), self.win(good))

        self.gui.click(main, 1010)
        self.assertEqual(process.wait(timeout=20).returncode, 0)

    def test_save_button_saves_what_compare_finds_the_same(self):
        self.start_sim(models=(1, 2), state=keymap_state(1, SPARROW_OLD))
        process, main = self.start_gui()
        self.assertEqual(self.gui.text(main, 1011), TEXTS["save_button"])
        self.gui.check(main, 1017)

        def save_to(path):
            self.gui.click(main, 1011)
            chooser = self.gui.find(cls="#32770", has_id=1148, timeout_ms=20000)
            self.gui.set_text(chooser, 1148, self.win(path))
            self.gui.click(chooser, 1)
            self.gui.wait_gone(chooser, timeout_ms=10000)

        saved = self.folder / "saved.tbl"
        save_to(saved)
        box = self.gui.message(title="Download tool success", timeout_ms=20000)
        self.assertEqual((box["text"], box["icon"]), (TEXTS["keymap_saved"], "information"))
        self.shot("keymap_saved")
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")
        self.assertEqual(saved.read_bytes(),
                         table_text(SPARROW_OLD).replace("\n", "\r\n").encode("ascii"))
        self.assertEqual(self.frames_in(1), [harness.frame_bytes("00 11 02 00 13")])

        self.sim.send("fault 1 nak on 11")
        failed = self.folder / "failed.tbl"
        save_to(failed)
        box = self.gui.message(title="Download tool failure", timeout_ms=20000)
        self.assertEqual((box["text"], box["icon"]), (TEXTS["keymap_not_read"], "error"))
        self.shot("keymap_not_read")
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")
        self.assertFalse(failed.exists())
        self.gui.click(main, 1010)
        self.assertEqual(process.wait(timeout=20).returncode, 0)

        # The saved file is what the keyboard holds, for the batch compare too.
        compare = self.start_tool(["/C", self.win(saved), "/1"])
        shown = self.gui.message(title=BATCH_TITLE, button="ok", timeout_ms=30000)
        self.assertTrue(shown["text"].endswith(" Sparrow, saved.tbl, same KeyMap.\n"), shown)
        self.assertEqual(compare.wait(timeout=30).returncode, 0)
        self.assertEqual(state_keymap(self.sim.state_text(), 1)[0], SPARROW_OLD)

    def test_second_instance_ends_silently(self):
        first, main = self.start_gui()
        second = self.start_tool(language=TEXTS["env"])
        self.assertEqual(second.wait(timeout=30).returncode, 3)
        self.assertEqual(len(self.gui.windows(title=TEXTS["title"])), 1)
        self.gui.click(main, 1010)
        self.assertEqual(first.wait(timeout=20).returncode, 0)

    def test_batch_dialogs_look(self):
        # The batch dialogs are English in both languages; seen here for the screenshots.
        process = self.start_tool(["/?"], language=TEXTS["env"])
        self.gui.find(title=BATCH_TITLE, cls="#32770", timeout_ms=20000)
        self.shot("usage")
        self.gui.message(title=BATCH_TITLE, button="ok")
        self.assertEqual(process.wait(timeout=20).returncode, 0)

        process = self.start_tool(["/2", "/C", "none.tbl"], language=TEXTS["env"])
        self.gui.find(title=BATCH_TITLE, cls="#32770", timeout_ms=20000)
        self.shot("batch_message")
        self.gui.message(title=BATCH_TITLE, button="ok")
        self.assertEqual(process.wait(timeout=20).returncode, 2)


if __name__ == "__main__":
    unittest.main()
