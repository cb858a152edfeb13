"""TAVSET driven by guidriver.exe under Xvfb against kbdsim.exe, in one language per run:
`gui_test.py en` or `gui_test.py ja` (Japanese: code page 932). Screenshots of each model's
view go to build/screenshots/settings_tool/. The Japanese run covers the views and the
messages; the rest of the behaviour does not depend on the language and runs in English."""

import sys
import time
import unittest
from pathlib import Path
from typing import Optional

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import harness  # noqa: E402
import tool_test  # noqa: E402

LANGUAGE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("en", "ja") else "en"
JAPANESE = LANGUAGE == "ja"
SCREENSHOT_DIR = harness.REPO / "build" / "screenshots" / "settings_tool"

# Control ids (settings_tool/win32/resource.h).
SPARROW, REED, LARCH, MSR_TYPE = 1001, 1002, 1003, 1005
TWO_KEY, ROLL_OVER, OP_GROUP, OP_KEY, INPUT_GROUP, TYPEMATIC = 1007, 1008, 1009, 1010, 1011, 1012
OK, CANCEL, APPLY, IDCANCEL = 1, 1013, 1014, 2
WM_CLOSE = 0x0010
WM_DEVICECHANGE = 0x0219
DBT_DEVNODES_CHANGED = 0x0007

TEXTS = {
    "en": {
        "env": {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"},
        "title": "Keyboard Setting",
        "captions": {1000: "Select the setup device", 1004: "MSR type setting",
                     1006: "Key lockout setting", TWO_KEY: "2 Key lockout",
                     ROLL_OVER: "F Key roll over", OP_GROUP: "OP Key setting",
                     OP_KEY: "OP Key Connection condition ", INPUT_GROUP: "Key Input setting",
                     TYPEMATIC: "Typematic Disable", CANCEL: "Cancel", APPLY: "Apply"},
        "not_found": "Device is not found!",
        "msr_failed": "MSR Data get Fail!",
        "key_lockout_failed": "Key Lockout Data get Fail!",
        "key_input_failed": "Key Input setting get Fail!",
        "op_key_failed": "OP Key setting get Fail!",
        "set_failed": "Data set Fail!",
    },
    "ja": {
        "env": {"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"},
        "title": "キーボード設定",
        "captions": {1000: "設定デバイスの選択", 1004: "MSRタイプの設定",
                     1006: "キーロックアウトの設定", TWO_KEY: "2キーロックアウト",
                     ROLL_OVER: "Fキーロールオーバー", OP_GROUP: "OP Keyの設定",
                     OP_KEY: "OP Key接続状態", INPUT_GROUP: "キーボード入力設定",
                     TYPEMATIC: "タイパ無効", CANCEL: "キャンセル", APPLY: "適用"},
        "not_found": "デバイスを発見できませんでした。",
        "msr_failed": "MSRデータ取得に失敗しました。",
        "key_lockout_failed": "Key Lockoutデータ取得に失敗しました。",
        "key_input_failed": "キーボード入力設定取得に失敗しました。",
        "op_key_failed": "OP Keyの設定の取得に失敗しました。",
        "set_failed": "設定に失敗しました。",
    },
}[LANGUAGE]
MODEL_CAPTIONS = {SPARROW: "Sparrow POS Keyboard", REED: "ReedKey PAD and ReedMSR",
                  LARCH: "Larch Keyboard", OK: "OK"}


def english_only(test):
    return unittest.skipIf(JAPANESE, "language-independent; runs in English")(test)


def set_frame(item: int, value: int) -> bytes:
    return harness.frame_bytes(f"00 00 03 {item:02X} {value:02X} {(item + value + 3) & 0xFF:02X}")


def settings_state(model: int, **values: int) -> str:
    lines = [f"[model {model}]"]
    lines += [f"{key.replace('_', '-')} = {value}" for key, value in values.items()]
    return "\n".join(lines) + "\n"


class Tavset(tool_test.ToolTest):
    PROGRAM = "TAVSET"
    SCREENSHOT_DIR = SCREENSHOT_DIR

    # -- running things

    def start_tavset(self) -> harness.WindowsProcess:
        return self.start_tool(language=TEXTS["env"])

    def dialog(self) -> dict:
        return self.gui.find(title=TEXTS["title"], has_id=MSR_TYPE, timeout_ms=20000)

    def answer(self, text: str, shot: Optional[str] = None) -> None:
        """The next message box: caption "TAVSET", `text`, OK only, no icon; pressed."""
        box = self.gui.message(title="TAVSET", timeout_ms=20000)
        self.assertEqual((box["text"], box["buttons"], box["icon"]), (text, "ok", "none"))
        if shot:
            self.shot(shot)
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")

    def ended(self, tool: harness.WindowsProcess) -> None:
        self.assertEqual(tool.wait(timeout=20).returncode, 0)

    def shot(self, name: str) -> Path:
        time.sleep(0.4)  # let the newest window finish painting
        return self.display.screenshot(SCREENSHOT_DIR / f"{LANGUAGE}_{name}.png")

    # -- what the keyboard saw, what the dialog shows

    def items_got(self, model: int) -> list[int]:
        return [f.data[3] for f in self.sim.frames(model=model, direction="in")
                if f.data[1] == 0x01]

    def sets(self, model: int) -> list[bytes]:
        return [f.data for f in self.sim.frames(model=model, direction="in")
                if f.data[1] == 0x00]

    def view(self, dialog: dict) -> dict:
        c = self.gui.controls(dialog)
        return {
            "model": [i for i in (SPARROW, REED, LARCH) if c[i]["checked"] == 1],
            "msr": c[MSR_TYPE]["text"],
            "lockout": [i for i in (TWO_KEY, ROLL_OVER) if c[i]["checked"] == 1],
            "lockout_enabled": c[TWO_KEY]["enabled"] and c[ROLL_OVER]["enabled"],
            "op_key": (c[OP_GROUP]["enabled"], c[OP_KEY]["enabled"], c[OP_KEY]["checked"]),
            "typematic": (c[INPUT_GROUP]["enabled"], c[TYPEMATIC]["enabled"],
                          c[TYPEMATIC]["checked"]),
            "apply": c[APPLY]["enabled"],
            "captions": {i: c[i]["text"] for i in {**TEXTS["captions"], **MODEL_CAPTIONS}},
        }

    def expect_view(self, dialog: dict, model: int, msr: str, lockout: int,
                    op_key: tuple, typematic: tuple, apply: int = 0,
                    lockout_enabled: int = 1) -> None:
        got = self.view(dialog)
        self.assertEqual(got["captions"], {**TEXTS["captions"], **MODEL_CAPTIONS})
        del got["captions"]
        self.assertEqual(got, {"model": [model], "msr": msr, "lockout": [lockout],
                               "lockout_enabled": lockout_enabled, "op_key": op_key,
                               "typematic": typematic, "apply": apply})

    def wait_sets(self, model: int, count: int) -> list[bytes]:
        deadline = time.monotonic() + 10
        while len(self.sets(model)) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.sets(model)

    # -- the tests

    def test_sparrow_reads_all_four_items_and_ok_writes_them_back_unchanged(self):
        self.start_sim((1,), settings_state(1, msr_type=4, key_lockout=2, op_key=0, key_input=5))
        tool = self.start_tavset()
        dialog = self.dialog()
        self.assertEqual(self.items_got(1), [1, 2, 4, 3])
        self.expect_view(dialog, SPARROW, "ISO 1/2/3", ROLL_OVER, (1, 1, 1), (1, 1, 1))
        self.shot("sparrow")
        # The hidden main window the dialog belongs to.
        main = self.gui.find(cls="TAVSETTING", title="ZELPOSTool", hidden=1, pid=dialog["pid"])
        self.assertEqual(main["visible"], 0)

        # Another Sparrow plugged in its place: after the device change nothing shown counts
        # as read from it, until its model button reads it.
        self.sim.send("set 1 op-key = 255")
        self.gui.post(dialog, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED)
        deadline = time.monotonic() + 5
        while self.view(dialog)["lockout_enabled"] and time.monotonic() < deadline:
            time.sleep(0.05)
        self.expect_view(dialog, SPARROW, "ISO 1/2/3", ROLL_OVER, (0, 0, 1), (0, 0, 1),
                         lockout_enabled=0)
        self.gui.click(dialog, SPARROW)
        self.expect_view(dialog, SPARROW, "ISO 1/2/3", ROLL_OVER, (1, 1, 0), (1, 1, 1))

        self.gui.click(dialog, OK)  # no change: the model's set requests all the same
        self.ended(tool)
        self.assertEqual(self.sets(1), [set_frame(2, 2), set_frame(4, 5), set_frame(3, 255)])
        self.assertIn("op-key = 255\n", self.sim.state_text())

    def test_larch_alone_and_beside_a_sparrow(self):
        self.start_sim((1, 3), settings_state(3, msr_type=5, key_lockout=0), ["unplug 1"])
        tool = self.start_tavset()
        dialog = self.dialog()
        self.expect_view(dialog, LARCH, "Not connection ", TWO_KEY, (0, 0, 0), (0, 0, 0))
        self.shot("larch")
        self.assertEqual(self.items_got(3), [1, 2])
        self.gui.click(dialog, CANCEL)
        self.ended(tool)
        self.assertEqual(self.sets(3), [])
        if JAPANESE:
            return

        self.sim.send("plug 1")  # a Larch and a Sparrow: the Larch is tried first
        tool = self.start_tavset()
        dialog = self.dialog()
        self.assertEqual(self.view(dialog)["model"], [LARCH])
        self.gui.click(dialog, OK)
        self.ended(tool)
        self.assertEqual(self.sets(3), [set_frame(2, 0)])
        self.assertEqual(self.sim.frames(model=1), [])

    def test_reed_view_then_the_sparrow_button_without_a_sparrow(self):
        self.start_sim((2,), settings_state(2, msr_type=3, key_lockout=1, key_input=0))
        tool = self.start_tavset()
        dialog = self.dialog()
        self.expect_view(dialog, REED, "JIS 1/2", ROLL_OVER, (0, 0, 0), (1, 1, 0))
        self.shot("reed")
        self.assertEqual(self.items_got(2), [1, 2, 4])

        # A changed setting enables Apply; a model change disables it again.
        self.gui.check(dialog, TYPEMATIC)
        self.assertEqual(self.view(dialog)["apply"], 1)
        self.gui.click(dialog, SPARROW)
        self.answer(TEXTS["not_found"])
        # The ReedKey PAD's values stay on screen in the Sparrow's view (OP key: the initial
        # 1), but none of them was read from a Sparrow: every control is disabled, and nothing
        # of the ReedKey PAD's is written into a Sparrow plugged in later.
        self.expect_view(dialog, SPARROW, "JIS 1/2", ROLL_OVER, (0, 0, 1), (0, 0, 1),
                         lockout_enabled=0)
        self.shot("sparrow_not_found")
        self.gui.click(dialog, OK)
        self.answer(TEXTS["not_found"])
        self.ended(tool)
        self.assertEqual(self.sets(2), [])

    def test_failed_items_show_their_messages_in_order_and_a_late_reply_shifts_nothing(self):
        # The key lockout's replies come 1.2 s late, after the 1 s time-out: that item fails,
        # and its late reply must not be taken for the key input's.
        self.start_sim((1,), settings_state(1, key_lockout=1, op_key=7, key_input=0),
                       ["fault 1 nak on 01:01", "fault 1 delay 1200 on 01:02",
                        "fault 1 nak on 01:03"])
        tool = self.start_tavset()
        for text in ("msr_failed", "key_lockout_failed", "op_key_failed"):
            self.answer(TEXTS[text], shot=f"message_{text}")
        dialog = self.dialog()
        # Failed items show the initial values (key lockout 0, OP key 1), their controls
        # disabled; key input as read.
        self.expect_view(dialog, SPARROW, "JIS 1/2", TWO_KEY, (0, 0, 1), (1, 1, 0),
                         lockout_enabled=0)
        self.gui.click(dialog, OK)
        self.ended(tool)
        # Only the item read is written back: the keyboard's key lockout and OP key stay.
        self.assertEqual(self.sets(1), [set_frame(4, 0)])
        self.assertIn("key-lockout = 1\n", self.sim.state_text())
        self.assertIn("op-key = 7\n", self.sim.state_text())

    @english_only
    def test_apply_escape_and_refused_sets(self):
        self.start_sim((1,), settings_state(1, key_lockout=0, op_key=255, key_input=0),
                       ["fault 1 nak on 00:04"])
        tool = self.start_tavset()
        dialog = self.dialog()
        self.expect_view(dialog, SPARROW, "ISO 1/2/3", TWO_KEY, (1, 1, 0), (1, 1, 0))
        # Escape, closing and the dialog's Cancel command (IDCANCEL) do nothing.
        self.gui.click(dialog, IDCANCEL, via="command")
        self.gui.post(dialog, WM_CLOSE)
        self.gui.check(dialog, ROLL_OVER)
        self.assertEqual(self.view(dialog)["apply"], 1)
        self.gui.click(dialog, APPLY)
        self.answer(TEXTS["set_failed"])  # the key input set was refused
        self.assertEqual(self.view(dialog)["apply"], 0)
        self.assertEqual(self.sets(1), [set_frame(2, 1), set_frame(4, 0), set_frame(3, 255)])

        self.gui.check(dialog, OP_KEY)
        self.gui.check(dialog, TYPEMATIC)
        self.gui.click(dialog, APPLY)
        self.assertEqual(self.wait_sets(1, 6)[3:],
                         [set_frame(2, 1), set_frame(4, 1), set_frame(3, 1)])
        time.sleep(0.3)
        self.gui.absent(title="TAVSET")
        self.assertEqual(self.view(dialog)["apply"], 0)

        self.sim.send("fault 1 nak on 00:02")
        self.gui.click(dialog, OK)
        self.answer(TEXTS["set_failed"])
        self.ended(tool)  # OK ends the dialog even so
        self.assertEqual(len(self.sets(1)), 9)

    @english_only
    def test_a_model_button_read_with_a_failed_item_writes_only_the_others(self):
        self.start_sim((1, 2), settings_state(1, key_lockout=0, op_key=0, key_input=6)
                       + settings_state(2, key_lockout=1, key_input=0),
                       ["fault 1 nak on 01:04"])
        tool = self.start_tavset()
        dialog = self.dialog()  # the ReedKey PAD is tried first
        self.expect_view(dialog, REED, "ISO 1/2/3", ROLL_OVER, (0, 0, 0), (1, 1, 0))
        self.gui.click(dialog, SPARROW)
        self.answer(TEXTS["key_input_failed"])
        # Key input keeps the ReedKey PAD's 0 on screen, disabled.
        self.expect_view(dialog, SPARROW, "ISO 1/2/3", TWO_KEY, (1, 1, 1), (0, 0, 0))
        # Clearing the OP key box stores 255, the two-key button 0.
        self.gui.click(dialog, OP_KEY)
        self.gui.check(dialog, ROLL_OVER)
        self.gui.check(dialog, TWO_KEY)
        self.gui.click(dialog, APPLY)
        self.assertEqual(self.wait_sets(1, 2), [set_frame(2, 0), set_frame(3, 255)])
        self.gui.click(dialog, OK)
        self.ended(tool)
        self.assertEqual(self.sets(1)[2:], [set_frame(2, 0), set_frame(3, 255)])
        self.assertEqual(self.sets(2), [])
        self.assertIn("key-input = 6\n", self.sim.state_text())

    def test_no_keyboard_shows_not_found_once_and_ends(self):
        self.start_sim((1,), commands=["unplug 1"])
        tool = self.start_tavset()
        self.answer(TEXTS["not_found"])
        self.ended(tool)
        self.assertEqual(self.sim.frames(), [])

    @english_only
    def test_a_second_copy_ends_at_once(self):
        self.start_sim((2,))
        first = self.start_tavset()
        dialog = self.dialog()
        second = self.start_tavset()
        self.assertEqual(second.wait(timeout=20).returncode, 0)
        self.assertEqual(len(self.gui.windows(title=TEXTS["title"])), 1)
        self.assertEqual(self.items_got(2), [1, 2, 4])  # the second copy sent nothing
        self.gui.click(dialog, CANCEL)
        self.ended(first)


if __name__ == "__main__":
    unittest.main(verbosity=2)
