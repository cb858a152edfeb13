"""Sonder driven by guidriver.exe against kbdsim.exe under Xvfb, in one code page per run:
`sonder_gui_test.py en` (1252) or `sonder_gui_test.py ja` (932). One session runs OPEN, a
scripted Send, decoded input reports, the track compare, Close while reports stream, reopen,
"No Target" and Esc while reports stream; short runs check a missing script and a stand-in
"hid.dll"; a third, on the stand-in setupapi.dll and hid.dll, opens without preparsed data or
capabilities and lets a write run out of its steps. Screenshots go to
build/screenshots/report_tester/."""

import contextlib
import os
import shutil
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "driver"))

import harness  # noqa: E402
from guidriver import GuiDriver, prepare_display_prefix  # noqa: E402

LANGUAGE = sys.argv.pop(1) if len(sys.argv) > 1 and sys.argv[1] in ("en", "ja") else "en"
ENV = ({"LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8"} if LANGUAGE == "ja"
       else {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"})
SHOTS = harness.REPO / "build" / "screenshots" / "report_tester"

MODEL, OPEN, CLOSE, EQUIPMENT = 1001, 1002, 1003, 1004
SEQNO, SEQNO_RESET, NAMES, COMMAND, WRITEDATA, SEND = 1010, 1011, 1012, 1013, 1014, 1015
CONTINUITY = 1016
TRACK, RESULT, MSR_CLEAR, TOUCH, KEY = 1020, 1030, 1040, 1050, 1051
HDR_ID, HDR_SIZE, HDR_DEVICENO, HDR_SEQNO, HDR_DATAFIELD, HDR_CHECKSUM = range(1060, 1066)
STATE = 1070

SCRIPT = """[Equipment]
name=Larch test bench
vid=1FF3
pid=0003
[Send3]
data_name=buzzer frame
data=00,02,08,04,SN,06,01,00,CS
[Send5]
data=00
[Send7]
data_name=click frame
data=00,02,06,00,01,0D,CS
"""
SYNTAX_ERROR = "送信データの記述方法に誤りがあります。\r\n"
NOT_FOUND = "接続先が見つかりませんでした。\r\n"


def group_cpu_seconds(group: int) -> float:
    """User and system time of every process in a process group (the Wine process's)."""
    ticks = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            fields = open(f"/proc/{entry}/stat").read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == group:
            ticks += int(fields[11]) + int(fields[12])
    return ticks / os.sysconf("SC_CLK_TCK")


def with_checksum(*head: int) -> str:
    """A test frame's text for kbdsim's report command: the bytes and their checksum."""
    frame = list(head) + [(-sum(head)) & 0xFF]
    return " ".join(f"{b:02X}" for b in frame)


class Sonder(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        prepare_display_prefix()
        cls.display = harness.Xvfb().start()
        cls.gui = GuiDriver(cls.display.env())

    @classmethod
    def tearDownClass(cls):
        cls.gui.stop()

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="sonder-"))
        self.processes = []
        self.sim = None

    def tearDown(self):
        for p in self.processes:
            p.kill()
        if self.sim is not None:
            self.sim.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, exe=None, env_extra=None):
        base = self.sim.env() if self.sim is not None else harness.wine_env()
        env = self.display.env(base)
        env.update(ENV)
        env.update(env_extra or {})
        process = harness.start_windows_exe(exe or harness.exe_path("Sonder"), [], env=env,
                                            cwd=self.folder)
        self.processes.append(process)
        return process, self.gui.find(title="Test tool", cls="Palpo_1", timeout_ms=20000)

    def text(self, window, control):
        return self.gui.text(window, control)

    def wait_text(self, window, control, wanted, timeout=5.0):
        deadline = time.monotonic() + timeout
        while True:
            value = self.text(window, control)
            if (wanted(value) if callable(wanted) else value == wanted):
                return value
            if time.monotonic() > deadline:
                self.fail(f"control {control}: {value!r}")
            time.sleep(0.05)

    def shot(self, name):
        time.sleep(0.4)
        return self.display.screenshot(SHOTS / f"{LANGUAGE}_{name}.png")

    @contextlib.contextmanager
    def streaming(self, model):
        """The keyboard sends key reports one after another while the block runs (it starts
        once 20 have gone)."""
        started = threading.Event()
        stop = threading.Event()

        def stream():
            n = 0
            while not stop.is_set():
                self.sim.send(f"report {model} " + with_checksum(
                    0x00, 0x01, 0x08, 0x01, n & 0xFF, 0x00, 0x56, n & 0xFF))
                n += 1
                if n == 20:
                    started.set()

        streamer = threading.Thread(target=stream)
        streamer.start()
        try:
            self.assertTrue(started.wait(10))
            yield
        finally:
            stop.set()
            streamer.join()

    def test_a_session_with_the_simulated_larch_keyboard(self):
        (self.folder / "Keyboard.ini").write_text(SCRIPT.replace("\n", "\r\n"))
        self.sim = harness.Kbdsim(models=(2, 3)).start()
        process, window = self.start()
        labels = {f.get("text") for f in self.gui.command("controls", "--hwnd",
                                                            hex(window["hwnd"]))}
        controls = self.gui.controls(window)
        for label in ("コマンド", "MSR", "Larch", "Heder", "State", "ISOtr2/JIS1", "JIS2",
                      "Open KeyBoard", "Touch Coordinate", "Key Coordinate", "DataField"):
            self.assertIn(label, labels)
        self.assertEqual(controls[CLOSE]["enabled"], 0)
        self.assertEqual(controls[OPEN]["enabled"], 1)
        self.assertEqual(controls[CONTINUITY]["enabled"], 0)
        self.assertIn("Larch test bench", controls[EQUIPMENT]["text"])
        # Send3 and Send7 are entries 0 and 1; the first is chosen at start.
        self.assertEqual(self.text(window, COMMAND), "00,02,08,04,SN,06,01,00,CS")
        self.gui.select(window, NAMES, 1)
        self.wait_text(window, COMMAND, "00,02,06,00,01,0D,CS")
        self.gui.select(window, NAMES, 0)
        self.wait_text(window, COMMAND, "00,02,08,04,SN,06,01,00,CS")

        # No model chosen: OPEN searches the Larch product ID.
        self.gui.click(window, OPEN)
        state = self.wait_text(window, STATE, lambda s: "InputReport=" in s, timeout=10)
        self.assertIn("Destination Detection\r\n", state)
        self.assertIn(f"Open Device : {self.sim.interface_path(3)}\r\n", state)
        self.assertIn("InputReport=38 OutputReport=38\r\n", state)
        self.wait_text(window, SEQNO, "01")
        controls = self.gui.controls(window)
        self.assertEqual((controls[OPEN]["enabled"], controls[CLOSE]["enabled"]), (0, 1))

        self.gui.click(window, SEND)
        self.wait_text(window, STATE, lambda s: s.endswith("Write OK\r\n"))
        sent = bytes([0x00, 0x02, 0x08, 0x04, 0x01, 0x06, 0x01, 0x00, 0xEA]).ljust(38, b"\0")
        deadline = time.monotonic() + 5
        while not self.sim.frames(model=3, direction="in") and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual([f.data for f in self.sim.frames(model=3, direction="in")], [sent])
        written = self.text(window, WRITEDATA)
        self.assertTrue(written.startswith("00,02,08,04,01,06,01,00,EA,00,"), written)
        self.assertEqual(len(written.split(",")), 38)
        self.assertEqual(self.text(window, SEQNO), "02")

        # A syntax error sends nothing and keeps the counter.
        self.gui.set_text(window, COMMAND, "00,1,0,1")
        self.gui.click(window, SEND)
        self.wait_text(window, STATE, lambda s: s.endswith(SYNTAX_ERROR))
        self.assertEqual(self.text(window, SEQNO), "02")
        self.assertEqual(len(self.sim.frames(model=3, direction="in")), 1)

        # Input reports from the keyboard fill the boxes.
        key = with_checksum(0x00, 0x01, 0x08, 0x01, 0x05, 0x00, 0x12, 0x34)
        self.sim.send("report 3 " + key)
        self.wait_text(window, KEY, "12 34")
        # The simulator logs the report as a frame it sent, padded to the report length.
        self.assertIn(bytes.fromhex(key).ljust(38, b"\0"),
                      [f.data for f in self.sim.frames(model=3, direction="out")])
        self.sim.send("report 3 " + with_checksum(0x00, 0x01, 0x0B, 0x06, 0x06, 0x00, 0x00,
                                                  0x10, 0x03, 0x05, 0x00))
        self.wait_text(window, TOUCH, "X=398,Y=5")
        card = [0x00, 0x01, 0x0C, 0x03, 0x07, 0x00, 0x02, 0x3B, 0x31, 0x32, 0x33, 0x3F]
        self.sim.send("report 3 " + with_checksum(*card))
        self.wait_text(window, RESULT + 1, "Not Match")  # the first read compares with zeros
        self.assertEqual(self.text(window, TRACK + 1),
                         " " + " ".join(f"{b:02X}" for b in card))
        self.gui.set_text(window, RESULT + 1, "")
        self.sim.send("report 3 " + with_checksum(*card))
        self.wait_text(window, RESULT + 1, "Match")
        card[4] = 0x08  # the keyboard's SeqNo changed: another read
        self.sim.send("report 3 " + with_checksum(*card))
        self.wait_text(window, RESULT + 1, "Not Match")
        self.assertEqual(self.text(window, HDR_SEQNO), "08")
        self.assertEqual(self.text(window, HDR_DEVICENO), "03")
        self.assertEqual(self.text(window, HDR_SIZE), "0C")
        self.assertEqual(self.text(window, HDR_DATAFIELD), " 00 02 3B 31 32 33 3F")
        self.assertEqual(self.text(window, HDR_CHECKSUM), f"{(-sum(card)) & 0xFF:02X}")
        self.assertEqual(self.text(window, KEY), "12 34")
        self.shot("decoded_reports")

        self.gui.click(window, MSR_CLEAR)
        self.wait_text(window, TRACK + 1, "")
        self.assertEqual(self.text(window, RESULT + 1), "Not Match")

        # The continuous sender: three fixed frames in turn, each with the next sequence number.
        self.gui.click(window, CONTINUITY)
        self.wait_text(window, CONTINUITY, "Stop")
        deadline = time.monotonic() + 5
        while len(self.sim.frames(model=3, direction="in")) < 3 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.gui.click(window, CONTINUITY)
        self.wait_text(window, CONTINUITY, "Continuity")
        frames = [f.data for f in self.sim.frames(model=3, direction="in")][1:]
        self.assertGreaterEqual(len(frames), 2)
        for n, frame in enumerate(frames):
            head = bytes([0x00, 0x02, 0x08, 0x04, 3 + n, 0x06, 0x01, n % 3])
            self.assertEqual(frame, (head + bytes([(-sum(head)) & 0xFF])).ljust(38, b"\0"))
        self.assertEqual(self.text(window, SEQNO), f"{2 + len(frames):02X}")

        # Close while the keyboard streams reports returns at once: a real click, which the
        # stream of reports must not hold up.
        with self.streaming(3):
            open_button = hex(self.gui.controls(window)[OPEN]["hwnd"])
            started = time.monotonic()
            self.gui.mouse_click(window, CLOSE)
            # OPEN is enabled again as Close ends (a cheap look: no message to the window).
            while self.gui.windows(hwnd=open_button, hidden=1)[0]["enabled"] != 1:
                self.assertLess(time.monotonic() - started, 1.0, "Close did not return")
            closed_in = time.monotonic() - started
            print(f"close while streaming: {closed_in:.3f} s", file=sys.stderr)
            self.assertLess(closed_in, 1.0)
        self.assertTrue(process.running())

        # Reopen: the Reed keyboard this time, found afresh; Send reaches it.
        self.gui.select(window, MODEL, 0)
        self.gui.click(window, OPEN)
        self.wait_text(window, STATE, lambda s: s.endswith("InputReport=38 OutputReport=38\r\n")
                       and f"{self.sim.interface_path(2)}\r\n" in s, timeout=10)
        self.gui.select(window, NAMES, 0)
        self.wait_text(window, COMMAND, "00,02,08,04,SN,06,01,00,CS")
        self.gui.click(window, SEND)
        self.wait_text(window, STATE, lambda s: s.endswith("Write OK\r\n"))
        self.assertEqual([f.data for f in self.sim.frames(model=2, direction="in")], [sent])

        # Unplugged while open: the dead handle does not make the tool spin, Close stays prompt.
        self.sim.send("unplug 2")
        time.sleep(1)
        before = group_cpu_seconds(process.pid)
        time.sleep(2)
        spent = group_cpu_seconds(process.pid) - before
        print(f"cpu while unplugged: {spent:.2f} s of 2 s", file=sys.stderr)
        self.assertLess(spent, 0.6)
        started = time.monotonic()
        self.gui.click(window, CLOSE)
        while self.gui.controls(window)[OPEN]["enabled"] != 1:
            self.assertLess(time.monotonic() - started, 2.0, "Close did not return")
            time.sleep(0.05)

        # A Send while closed writes to no device.
        self.gui.click(window, SEND)
        self.wait_text(window, STATE, lambda s: s.endswith("Write error\r\n"))

        # Unplugged: "No Target", and the open of the empty path fails.
        self.gui.click(window, OPEN)
        box = self.gui.message(timeout_ms=10000)
        self.assertEqual(box["text"], "No Target")
        self.shot("no_target")
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")
        state = self.wait_text(window, STATE, lambda s: s.endswith("INVALID_HANDLE\r\n\r\n"))
        self.assertIn(NOT_FOUND + "Open Device : \r\nINVALID_HANDLE\r\n", state)
        controls = self.gui.controls(window)
        self.assertEqual((controls[CLOSE]["enabled"], controls[CONTINUITY]["enabled"]), (0, 0))

        # The Larch keyboard again, streaming: Escape stops the reader, closes the keyboard and
        # ends the tool at once.
        self.gui.select(window, MODEL, 1)
        self.gui.click(window, OPEN)
        self.wait_text(window, STATE, lambda s: s.endswith("InputReport=38 OutputReport=38\r\n")
                       and s.count(f"{self.sim.interface_path(3)}\r\n") == 2, timeout=10)
        with self.streaming(3):
            self.wait_text(window, HDR_DATAFIELD, lambda s: s.startswith(" 00 56"))
            self.shot("streaming_before_escape")
            started = time.monotonic()
            self.gui.key_chord(window, "escape")
            while self.gui.windows(hwnd=hex(window["hwnd"]), hidden=1):
                self.assertLess(time.monotonic() - started, 1.0, "Escape did not end the tool")
                time.sleep(0.02)
            print(f"escape while streaming: {time.monotonic() - started:.3f} s",
                  file=sys.stderr)
        self.assertEqual(process.wait(timeout=10).returncode, 0)

    def test_a_missing_script_and_a_hid_library_without_its_entry_points(self):
        process, window = self.start()
        self.wait_text(window, STATE, "FILE READ ERROR \r\n(FILE SIZE = 0 BYTE)\r\n")
        self.assertTrue((self.folder / "Keyboard.ini").is_file())
        self.assertEqual((self.folder / "Keyboard.ini").stat().st_size, 0)
        self.gui.click(window, OPEN)
        self.wait_text(window, STATE, lambda s: s.endswith("HID functions are not bound\r\n"))
        self.gui.close(window)
        process.wait(timeout=10)

        # Without KBDSIM_PIPE the machine's HID interfaces are searched through SetupDi and
        # "hid.dll": this prefix has no keyboard.
        (self.folder / "Keyboard.ini").write_text(SCRIPT.replace("\n", "\r\n"))
        process, window = self.start()
        self.gui.click(window, OPEN)
        box = self.gui.message(timeout_ms=10000)
        self.assertEqual(box["text"], "No Target")
        self.gui.message(hwnd=hex(box["hwnd"]), button="ok")
        state = self.wait_text(window, STATE, lambda s: s.endswith("INVALID_HANDLE\r\n\r\n"))
        self.assertEqual(state, NOT_FOUND + "Open Device : \r\nINVALID_HANDLE\r\n\r\n")
        self.gui.close(window)
        process.wait(timeout=10)

        # A stand-in hid.dll beside the program: binding stops at the first missing function.
        program = self.folder / "Sonder.exe"
        shutil.copy(harness.exe_path("Sonder"), program)
        shutil.copy(harness.exe_path("sonder_partial_hid"), self.folder / "hid.dll")
        process, window = self.start(program, {"WINEDLLOVERRIDES": "hid=n,b;mscoree,mshtml="})
        self.wait_text(window, STATE, "Get-HidD_SetFeature-ProcAddress error")
        self.shot("missing_entry_point")
        self.gui.close(window)
        self.assertEqual(process.wait(timeout=10).returncode, 0)

    def start_on_standins(self, fail):
        """Sonder through its real backend (SetupDi and "hid.dll") on the stand-in DLLs over
        the simulated Larch keyboard, the stand-in call `fail` failing; OPEN pressed."""
        folder = self.folder / "standins"
        folder.mkdir(exist_ok=True)
        shutil.copy(harness.exe_path("Sonder"), folder / "Sonder.exe")
        for dll in ("standin_hid", "standin_setupapi"):
            shutil.copy(harness.exe_path(dll), folder)
        report = self.folder / f"standins_{fail}.txt"
        env = self.display.env(harness.wine_env({
            "KBD_STANDIN_PIPE": self.sim.pipe, "KBD_STANDIN_FAIL": fail,
            "KBD_STANDIN_REPORT": harness.to_windows_path(report),
            "WINEDLLOVERRIDES": "setupapi,hid=n;mscoree,mshtml="}))
        env.update(ENV)
        env.pop("KBDSIM_PIPE", None)
        process = harness.start_windows_exe(folder / "Sonder.exe", [], env=env, cwd=self.folder)
        self.processes.append(process)
        window = self.gui.find(title="Test tool", cls="Palpo_1", timeout_ms=20000)
        self.gui.click(window, OPEN)
        self.wait_text(window, STATE, lambda s: "InputReport=" in s, timeout=10)
        self.assertEqual(self.gui.controls(window)[CLOSE]["enabled"], 1)
        return process, window, report

    def test_open_without_capabilities_and_a_write_that_runs_out_of_its_steps(self):
        (self.folder / "Keyboard.ini").write_text(SCRIPT.replace("\n", "\r\n"))
        self.sim = harness.Kbdsim(models=(3,)).start()
        opened = (f"Destination Detection\r\nOpen Device : {self.sim.interface_path(3)}\r\n")

        # No preparsed data: no capabilities asked for either; open all the same, lengths 0.
        process, window, report = self.start_on_standins("preparsed")
        self.assertEqual(self.text(window, STATE), opened + "HidD_GetPreparsedData error\r\n"
                         "InputReport=0 OutputReport=0\r\n")
        self.shot("no_preparsed_data")
        self.gui.close(window)
        self.assertEqual(process.wait(timeout=10).returncode, 0)
        self.assertIn("hid preparsed_got=0 ", report.read_text())

        # The capabilities cannot be read: the same, and the preparsed data is freed.
        process, window, report = self.start_on_standins("caps")
        self.assertEqual(self.text(window, STATE), opened + "HidP_GetCaps error\r\n"
                         "InputReport=0 OutputReport=0\r\n")

        # Send writes what the text produced. The keyboard holds back its answer to a first
        # frame and reads nothing meanwhile: eight writes of 512 bytes fill the pipe's
        # 4096 bytes, so the frame after them stays pending past its 4 steps of 10 ms.
        def frame(sequence):
            head = [0x00, 0x02, 0x08, 0x04, sequence, 0x06, 0x01, 0x00]
            return bytes(head + [(-sum(head)) & 0xFF]).ljust(38, b"\0")

        frame_text = "00,02,08,04,SN,06,01,00,CS" + ",00" * 29
        self.sim.send("fault 3 delay 5000")
        for text, result in [(frame_text, "Write OK")] + [("00" * 511 + "0", "Write OK")] * 8 \
                + [(frame_text, "Write error")]:
            self.gui.set_text(window, COMMAND, text)
            done = self.text(window, STATE).count("Write ")
            self.gui.click(window, SEND)
            state = self.wait_text(window, STATE, lambda s: s.count("Write ") > done)
            self.assertTrue(state.endswith(result + "\r\n"), state[-40:])
        self.assertEqual(self.text(window, WRITEDATA), "00")
        self.assertEqual(self.text(window, SEQNO), "0B")
        self.shot("write_error")
        # The answer comes (a negative reply: the keyboard knows no such frame); the reader,
        # asking for 5000 bytes a time, shows it. The frame whose write gave up was cancelled:
        # the keyboard never gets it, and the next one does.
        self.wait_text(window, HDR_ID, "81", timeout=15)
        self.assertEqual(self.text(window, HDR_SIZE), "02")
        time.sleep(0.5)
        self.gui.click(window, SEND)
        self.wait_text(window, STATE, lambda s: s.endswith("Write error\r\nWrite OK\r\n"))
        deadline = time.monotonic() + 5
        while len(self.sim.frames(model=3, direction="in")) < 2 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual([f.data for f in self.sim.frames(model=3, direction="in")],
                         [frame(0x01), frame(0x0B)])
        self.gui.close(window)
        self.assertEqual(process.wait(timeout=10).returncode, 0)
        self.assertRegex(report.read_text(), r"hid preparsed_got=1 .*preparsed_not_freed=0 "
                         r"handles_open=0 misuse=0")


if __name__ == "__main__":
    unittest.main()
