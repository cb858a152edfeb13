"""TAVFrmDL's dialogs driven by guidriver.exe under Xvfb, in one language per run:
`gui_test.py en` or `gui_test.py ja` (Japanese: code page 932). A whole update through the
dialogs, the version query, a refused date stamp, the error paths and a second instance;
screenshots of every dialog go to build/screenshots/firmware_download/."""

import os
import signal
import sys
import time
import unittest

from tavfrmdl import (ENGLISH_ENV, JAPANESE_ENV, MAIN_TITLE_EN, MAIN_TITLE_JA, ToolTest,
                      date_frame, download_frames, random_image, state_firmware, today,
                      write_firmware)

LANGUAGE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("en", "ja") else "en"

TEXTS = {
    "en": {
        "env": ENGLISH_ENV,
        "title": MAIN_TITLE_EN,
        "reading": "Reading....",
        "writing": "Writing....",
        "confirm": "The Firmware is downloaded, Is it OK ?",
        "ended_normally": "The transmission of the file ended normally.",
        "ended_abnormally": "The transmission of the file ended abnormally.",
        "format_error": "File format error.",
        "not_found": "The file is not found.",
        "no_file_name": "Please input the file name.",
        "stamp_failed": "Fail in the renewal of the Download date stamp.",
        "no_device": "Device is not found!",
        "notice": "Download data stamp renovation...",
        "instruction": "Please set the file name and push the Run button if you want to "
                       "rewrite the firmware of the Panel. \nPlease never turn off the power "
                       "supply of the device while downloading the firmware",
        "controls": {1017: "Sparrow &Keyboard", 1019: "&Larch Keyboard",
                     1018: "&Reed Keyboard", 1020: "Reed &MSR", 1001: "R&eference",
                     1021: "&Update the firmware of the Panel.",
                     1022: "Confirm the &version of the firmware.", 1009: "&Run",
                     1010: "&Cancel"},
        "version_label": "Firmware Version :",
        "edited_date": "2012-03-04",
    },
    "ja": {
        "env": JAPANESE_ENV,
        "title": MAIN_TITLE_JA,
        "reading": "ファイル読み込み中....",
        "writing": "書き換え中....",
        "confirm": "ファームウェアをダウンロードします。\nよろしいですか？",
        "ended_normally": "ファイル転送正常終了。",
        "ended_abnormally": "ファイル転送異常終了。",
        "format_error": "ファイルフォーマットエラー。",
        "not_found": "ファイルが見つかりません。",
        "no_file_name": "ファイル名を入力してください。",
        "stamp_failed": "ダウンロードの日付の更新に失敗しました。",
        "no_device": "デバイスを発見できませんでした。",
        "notice": "ダウンロード日付更新中...",
        "instruction": "ファームウェアを書き換える場合は、ファイル名を指定して実行ボタンを押し"
                       "て下さい。\nダウンロード中は、装置の電源を切らないでください。",
        "controls": {1017: "Sparrowキーボード (&K)", 1019: "Larchキーボード (&P)",
                     1018: "Reedキーボード (&T)", 1020: "Reed MSR (&M)", 1001: "参照(&E)",
                     1021: "ファームウェアの書き換えを開始します。(&D)",
                     1022: "ファームウェアのバージョンを表示します。(&V)", 1009: "実行(&R)",
                     1010: "キャンセル(&C)"},
        "version_label": "ファームウェアバージョン ：",
        # Shorter than ten characters: sent with zero bytes after it.
        "edited_date": "2013-5-6",
    },
}[LANGUAGE]

WM_COMMAND = 0x0111
WM_QUERYENDSESSION = 0x0011


class Dialogs(ToolTest):
    def shot(self, name):
        time.sleep(0.4)  # let the newest window finish painting
        return self.screenshot(f"{LANGUAGE}_{name}")

    def start_gui(self):
        process = self.start_tool(language=TEXTS["env"])
        main = self.gui.find(title=TEXTS["title"], has_id=1027, timeout_ms=20000)
        return process, main

    def answer(self, caption, text, button="ok", icon="error", shot=None):
        box = self.gui.message(title=caption, timeout_ms=30000)
        self.assertEqual((box["text"], box["icon"]), (text, icon))
        if shot:
            self.shot(shot)
        self.gui.message(hwnd=hex(box["hwnd"]), button=button)
        return box

    def wait_text(self, window, control_id, text, timeout=10):
        deadline = time.monotonic() + timeout
        while self.gui.text(window, control_id) != text:
            self.assertLess(time.monotonic(), deadline, f"control {control_id} never read {text!r}")
            time.sleep(0.1)

    def wait_status(self, status, timeout=20):
        """Polls the progress dialog until its status line reads `status`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            progress = self.gui.find(has_id=1006, timeout_ms=20000)
            controls = self.gui.controls(progress)
            if controls[1004]["text"] == status:
                return progress, controls
            time.sleep(0.05)
        self.fail(f"progress status never read {status!r}")

    def update(self, main, path, shots=False):
        """Run with operation mode update up to the confirmation, answered Yes."""
        self.gui.set_text(main, 1000, self.win(path))
        self.gui.click(main, 1009)
        box = self.gui.message(title="Download tool", timeout_ms=20000)
        self.assertEqual((box["text"], box["icon"], box["buttons"]),
                         (TEXTS["confirm"], "warning", "yes,no"))
        if shots:
            self.wait_status(TEXTS["reading"])
            self.shot("confirm")
        self.gui.message(hwnd=hex(box["hwnd"]), button="yes")

    def test_whole_update_then_version_query(self):
        image = random_image(11)
        path = write_firmware(self.folder / "larch.mhx", image)
        # Every data frame 2 ms late: time to watch the bar move.
        self.start_sim(models=(2, 3), commands=["fault 3 delay 2 on 20:00:01 always"])
        process, main = self.start_gui()

        controls = self.gui.controls(main)
        self.assertEqual(controls[1027]["text"], today())
        self.assertEqual(controls[1000]["text"], "")
        self.assertEqual([controls[i]["checked"] for i in (1017, 1018, 1019, 1020, 1021, 1022)],
                         [0, 1, 0, 0, 1, 0])
        self.assertEqual(controls[1017]["enabled"], 0)  # the Sparrow cannot be picked
        self.assertEqual(controls[1040]["text"], TEXTS["instruction"])
        for control_id, text in TEXTS["controls"].items():
            self.assertEqual(controls[control_id]["text"], text)
        self.shot("main")

        self.gui.check(main, 1019)
        self.gui.set_text(main, 1027, TEXTS["edited_date"])
        self.update(main, path, shots=True)

        progress, controls = self.wait_status(TEXTS["writing"])
        self.assertEqual(controls[1005]["text"], "*")
        # Ctrl+C in the console the program shares (Wine turns SIGINT into CTRL_C_EVENT) does
        # not end it once the init frame went out.
        deadline = time.monotonic() + 20
        while not self.frames_in(3):
            self.assertLess(time.monotonic(), deadline, "no init frame")
            time.sleep(0.05)
        os.kill(process.pid, signal.SIGINT)
        # Nor does a log-off or shutdown: the progress dialog refuses the end of the session.
        self.assertEqual(self.gui.send(progress, WM_QUERYENDSESSION), 0)
        # No control stops a download: a cancel command, Escape and closing are ignored, and
        # the main dialog's Cancel and close box too.
        self.gui.post(progress, WM_COMMAND, 1003)
        self.gui.post(progress, WM_COMMAND, 2)
        self.gui.close(progress)
        self.gui.close(main)
        self.gui.click(main, 1010, via="command")
        time.sleep(0.5)
        self.gui.absent(cls="#32770", title="Download tool")
        self.gui.find(hwnd=hex(progress["hwnd"]))
        deadline = time.monotonic() + 30
        while self.gui.controls(progress)[1006]["position"] == 0:
            self.assertLess(time.monotonic(), deadline, "the progress bar never moved")
        self.shot("progress")

        notice = self.gui.find(has_id=1041, timeout_ms=30000)
        noticed = time.monotonic()
        self.assertEqual(self.gui.text(notice, 1041), TEXTS["notice"])
        self.shot("notice")
        self.assertEqual(self.frames_in(3), download_frames(image))  # nothing stamped yet
        self.answer("Download tool success", TEXTS["ended_normally"], icon="information",
                    shot="ended_normally")
        self.assertGreater(time.monotonic() - noticed, 11)  # the notice stood the pause
        self.assertNotEqual(self.gui.send(main, WM_QUERYENDSESSION), 0)
        self.gui.absent(has_id=1041)
        self.assertEqual(self.frames_in(3),
                         download_frames(image) + [date_frame(TEXTS["edited_date"])])
        self.assertEqual(state_firmware(self.sim.state_text(), 3)[:2],
                         (image, TEXTS["edited_date"].ljust(10, "\0").replace("\0", "\\x00")))

        # The version of the keyboard just written, read through the version dialog.
        self.sim.send("set 3 version 1A 05")
        self.sim.send("fault 3 delay 1500 on 10")
        self.gui.check(main, 1022)
        self.gui.click(main, 1009)
        version = self.gui.find(has_id=1030, timeout_ms=20000)
        controls = self.gui.controls(version)
        self.assertEqual(controls[1030]["text"], "??.??")
        self.assertIn(TEXTS["version_label"], [c["text"] for c in controls.values()])
        self.shot("version")
        self.gui.click(version, 1009)
        time.sleep(0.5)
        self.assertEqual(self.gui.text(version, 1030), "00.00")  # while the query runs
        self.wait_text(version, 1030, "1a.05")
        self.shot("version_read")
        # Without a keyboard: the message, then "??.??".
        self.sim.send("unplug 3")
        self.gui.click(version, 1009)
        self.answer("Download tool failure", TEXTS["no_device"], icon="none", shot="no_device")
        self.wait_text(version, 1030, "??.??")
        self.gui.click(version, 1010)
        self.gui.wait_gone(has_id=1030, timeout_ms=10000)

        self.gui.click(main, 1010)
        self.assertEqual(process.wait(timeout=20).returncode, 0)

    def test_refused_date_stamp(self):
        image = random_image(12)
        path = write_firmware(self.folder / "msr.mhx", image)
        self.start_sim(models=(4,), commands=["fault 4 nak on 08"])
        process, main = self.start_gui()
        self.gui.check(main, 1020)
        self.update(main, path)
        self.answer("Download tool success", TEXTS["stamp_failed"], shot="stamp_failed")
        self.assertEqual(self.frames_in(4), download_frames(image) + [date_frame(today())])
        self.assertEqual(state_firmware(self.sim.state_text(), 4), (image, "2000-01-01", 2048))
        self.gui.click(main, 1010)
        self.assertEqual(process.wait(timeout=20).returncode, 0)

    def test_error_paths_keep_the_main_dialog_open(self):
        good = write_firmware(self.folder / "good.mhx", random_image(13))
        gone = write_firmware(self.folder / "gone.mhx", random_image(14))
        nos8 = self.folder / "nos8.mhx"
        nos8.write_text("S2050000000000FA\r\n")
        self.start_sim(models=(2,), commands=["fault 2 nak on 20:00:AA"])
        process, main = self.start_gui()

        self.gui.click(main, 1009)
        self.answer("Download tool failure", TEXTS["no_file_name"], shot="no_file_name")

        self.gui.set_text(main, 1000, self.win(self.folder / "none.mhx"))
        self.gui.click(main, 1009)
        self.answer("Download tool failure", TEXTS["not_found"])
        self.gui.absent(has_id=1006)  # no progress dialog

        self.gui.set_text(main, 1000, "C:\\" + "x" * 300 + ".mhx")  # over 259 characters
        self.gui.click(main, 1009)
        self.answer("Download tool failure", TEXTS["not_found"])

        self.update(main, nos8)
        self.answer("Download tool failure", TEXTS["format_error"], shot="format_error")

        self.gui.set_text(main, 1000, self.win(good))
        self.gui.click(main, 1009)
        self.gui.message(title="Download tool", button="no", timeout_ms=20000)
        self.gui.wait_gone(has_id=1006, timeout_ms=10000)
        time.sleep(0.5)
        self.gui.absent(cls="#32770", title="Download tool failure")
        self.assertEqual(self.sim.frames(model=2), [])

        # The file goes while the question is up: nothing is sent.
        self.gui.set_text(main, 1000, self.win(gone))
        self.gui.click(main, 1009)
        box = self.gui.message(title="Download tool", timeout_ms=20000)
        gone.unlink()
        self.gui.message(hwnd=hex(box["hwnd"]), button="yes")
        self.answer("Download tool failure", TEXTS["not_found"])
        self.assertEqual(self.sim.frames(model=2), [])

        # A refused init frame: the sequence's own report, then the main dialog's.
        self.update(main, good)
        failure = self.gui.message(title="Download tool failure", timeout_ms=20000)
        self.assertEqual((failure["text"], failure["icon"]),
                         ("TAVSendDownloadData FALSE", "error"))
        self.shot("sequence_failed")
        self.gui.message(hwnd=hex(failure["hwnd"]), button="ok")
        self.answer("Download tool failure", TEXTS["ended_abnormally"], shot="ended_abnormally")
        self.assertEqual(self.frames_in(2), download_frames(b"\xff" * 65536)[:1])

        # Cancelling the file chooser leaves the file box alone.
        self.gui.set_text(main, 1000, "typed.mhx")
        self.gui.click(main, 1001)
        chooser = self.gui.find(cls="#32770", has_id=1148, timeout_ms=20000)
        self.gui.message(hwnd=hex(chooser["hwnd"]), button="cancel")
        self.assertEqual(self.gui.text(main, 1000), "typed.mhx")
        # Choosing a file puts its full name into the file box.
        self.gui.click(main, 1001)
        chooser = self.gui.find(cls="#32770", has_id=1148, timeout_ms=20000)
        self.gui.set_text(chooser, 1148, self.win(good))
        self.gui.message(hwnd=hex(chooser["hwnd"]), button="ok")
        self.assertEqual(self.gui.text(main, 1000).lower(), self.win(good).lower())

        # A second copy ends at once and silently.
        second = self.start_tool(language=TEXTS["env"])
        self.assertEqual(second.wait(timeout=30).returncode, 0)
        self.assertEqual(len(self.gui.windows(title=TEXTS["title"])), 1)

        self.gui.click(main, 1010)
        self.assertEqual(process.wait(timeout=20).returncode, 0)


if __name__ == "__main__":
    unittest.main()
