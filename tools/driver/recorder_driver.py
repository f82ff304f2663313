"""Drives CalvoroRecord.exe and the simulated client (SimSkype.exe) under wine.

Used by the end-to-end tests (tests/e2e) and by the README's demo
(scripts/run-demo.sh). Each ProgramFolder is a fresh copy of the program as a
user gets it: CalvoroRecord.exe with Language\\, Image\\ and the encoders beside it, a
Config.ini of the test's own, and a record folder of its own.
"""

import os
import shutil
import struct
import subprocess
import tempfile
import time

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINE_EXEC = os.path.join(TOP, "scripts", "wine-exec")
# The external encoders for tests (build/encoders, beside the build's bin):
# wrappers of the Debian encoders under the names the recorder looks for.
EXTERNAL_ENCODERS = ("lame.exe", "oggenc2.exe", "flac.exe", "Wav2Wma.exe")

# The audio ports the recorder listens on when it can.
OUT_PORT, IN_PORT = 6285, 7285
# SimSkype --recorder-state exit codes.
RECORDER_VISIBLE, RECORDER_HIDDEN, RECORDER_MISSING = 0, 5, 6
# Controls and messages of the recorder's main window.
IDC_RECORD, IDC_PAUSE, IDC_STOP = 1003, 1004, 1005
IDC_CLIENT_STATUS, IDC_FOLDER_STATUS, IDC_RECORD_STATUS = 1029, 1030, 1031
ID_TRAY_EXIT = 32773
# The recordings window: the menus' command, and its buttons.
WM_COMMAND, ID_MENU_RECORDINGS = 0x0111, 5010
IDC_RECORDINGS_PLAY, IDC_RECORDINGS_DELETE = 1206, 1213
WM_EXIT_REQUEST = 0x0406
# The tray icon's message to the main window: the icon id and a mouse message.
WM_TRAY_NOTIFY, TRAY_ICON_ID = 1525, 128
WM_LBUTTONDBLCLK, WM_RBUTTONUP = 0x0203, 0x0205


def winpath(path):
    """The wine path of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_until(condition, timeout, what, interval=0.2):
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise TimeoutError("gave up waiting for " + what)
        time.sleep(interval)


class Wine:
    """The wine environment of one Windows build tree."""

    def __init__(self, bin_dir, prefix=None):
        self.bin_dir = os.path.abspath(bin_dir)
        self.env = dict(os.environ)
        self.env["WINEPREFIX"] = prefix or os.path.join(os.path.dirname(self.bin_dir), "wineprefix")
        self.env.setdefault("WINEDEBUG", "-all")
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        if "DISPLAY" not in self.env:
            raise RuntimeError("wine needs a display: run under xvfb-run")

    def popen(self, exe, args, log_path):
        with open(log_path, "ab") as log:
            return subprocess.Popen([WINE_EXEC, exe] + list(args), env=self.env, stdout=log, stderr=log)

    def run(self, exe, args, timeout, log_path):
        with open(log_path, "ab") as log:
            return subprocess.run([WINE_EXEC, exe] + list(args), env=self.env, stdout=log, stderr=log,
                                  timeout=timeout).returncode

    def simskype(self):
        return os.path.join(self.bin_dir, "SimSkype.exe")


class ProgramFolder:
    """A copy of the program with its own settings, records and simulated client.

    By default the program is copied from the build into <root>/Calvoro Record
    with a Config.ini beside it. `program` names a folder that already holds
    the program (unpacked from the zip, or installed): nothing is copied there.
    `config` is where the settings are written (None: nowhere). `encoders`
    names external encoders (of EXTERNAL_ENCODERS) put beside the copy."""

    def __init__(self, wine, settings, root=None, program=None, config="", encoders=()):
        self.wine = wine
        self.root = root or tempfile.mkdtemp(prefix="calvoro-e2e-")
        self.program = program or os.path.join(self.root, "Calvoro Record")
        self.records = os.path.join(self.root, "Records")
        self.sim = os.path.join(self.root, "sim")
        for d in (self.program, self.records, self.sim):
            os.makedirs(d, exist_ok=True)
        if program is None:
            shutil.copy2(os.path.join(wine.bin_dir, "CalvoroRecord.exe"), self.program)
            for data in ("Language", "Image"):
                shutil.copytree(os.path.join(wine.bin_dir, data), os.path.join(self.program, data),
                                dirs_exist_ok=True)
            # The libraries the program loads (LAME's DLL).
            for name in os.listdir(wine.bin_dir):
                if name.lower().endswith(".dll"):
                    shutil.copy2(os.path.join(wine.bin_dir, name), self.program)
            # External encoders only where a test puts them: without them the
            # program encodes by itself.
            external = os.path.join(os.path.dirname(os.path.abspath(wine.bin_dir)), "encoders")
            for encoder in tuple(encoders) + (("calvoro-encode.sh",) if encoders else ()):
                shutil.copy2(os.path.join(external, encoder), self.program)
        if config == "":
            config = os.path.join(self.program, "Config.ini")
        if config is not None:
            write_config(config, dict({"WavePath": winpath(self.records)}, **settings))
        self.recorder = None
        self.log = os.path.join(self.root, "wine.log")

    # The recorder.
    def start_recorder(self, args=()):
        process = self.wine.popen(os.path.join(self.program, "CalvoroRecord.exe"), args, self.log)
        if self.recorder is None:
            self.recorder = process
        return process

    def recorder_state(self):
        return self.wine.run(self.wine.simskype(), ["--recorder-state"], 60, self.log)

    def ask_simskype(self, args):
        """What SimSkype answers to a question (--recorder-text, --tray-balloon)
        in the file it is given; None when it has no answer."""
        answer = os.path.join(self.root, "answer.txt")
        if os.path.exists(answer):
            os.remove(answer)
        if self.wine.run(self.wine.simskype(), list(args) + [winpath(answer)], 60, self.log) != 0:
            return None
        with open(answer, encoding="utf-8") as f:
            return f.read()

    def recorder_text(self, control):
        """(shown, text) of a control of the recorder's main window; None
        without the window."""
        answer = self.ask_simskype(["--recorder-text", str(control)])
        if answer is None:
            return None
        shown, text = answer.split("\n", 1)
        return shown == "1", text

    def tray_balloon(self):
        """The text of the balloon the notification area shows now; "" when none."""
        return self.ask_simskype(["--tray-balloon"]) or ""

    # The recordings window (opened with WM_COMMAND 5010, the menus' item).
    def open_recordings(self):
        self.run_scenario("attach none\npost-recorder %d %d\n" % (WM_COMMAND, ID_MENU_RECORDINGS), name="open",
                          timeout=60, folder=os.path.join(self.sim, "open"))

    def recordings_rows(self):
        """The rows the recordings window lists, each a list of its column
        texts; None without the window."""
        answer = self.ask_simskype(["--recordings", "list"])
        if answer is None:
            return None
        return [line.split("\t") for line in answer.split("\n") if line]

    def recordings_status(self):
        """(count line, status line) of the recordings window; None without it."""
        answer = self.ask_simskype(["--recordings", "status"])
        return None if answer is None else tuple(answer.split("\n", 1))

    def recordings_do(self, *args):
        """Selects a row (select <row>) or gives a command (command <id>)."""
        return self.wine.run(self.wine.simskype(), ["--recordings"] + [str(a) for a in args], 60, self.log) == 0

    def wait_recorder_window(self, timeout=60):
        wait_until(lambda: self.recorder_state() in (RECORDER_VISIBLE, RECORDER_HIDDEN), timeout,
                   "the recorder's main window")

    def exit_recorder(self, timeout=120):
        """Asks the recorder to exit (WM_EXIT_REQUEST) and waits for its process."""
        if self.recorder is None or self.recorder.poll() is not None:
            return
        # In a folder of its own, so that the call's command and event logs stay.
        self.run_scenario("attach none\npost-recorder %d\n" % WM_EXIT_REQUEST, name="exit", timeout=60,
                          folder=os.path.join(self.sim, "exit"))
        self.recorder.wait(timeout=timeout)

    def kill(self):
        if self.recorder is not None and self.recorder.poll() is None:
            self.recorder.kill()
            self.recorder.wait()

    # The simulated client.
    def scenario_args(self, text, name, folder):
        folder = folder or self.sim
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name + ".scenario")
        with open(path, "w") as f:
            f.write(text)
        return ["--dir", winpath(folder), winpath(path)]

    def run_scenario(self, text, name="call", timeout=180, folder=None):
        return self.wine.run(self.wine.simskype(), self.scenario_args(text, name, folder), timeout, self.log)

    def start_scenario(self, text, name="call", folder=None):
        """The simulated client, running beside the test."""
        return self.wine.popen(self.wine.simskype(), self.scenario_args(text, name, folder), self.log)

    def sent(self, call, direction):
        with open(os.path.join(self.sim, "call%d_%s.raw" % (call, direction)), "rb") as f:
            return f.read()

    def commands(self):
        with open(os.path.join(self.sim, "commands.log"), encoding="utf-8") as f:
            return [line.rstrip("\r\n") for line in f]

    # The record folder.
    def record_files(self):
        return sorted(os.listdir(self.records))

    def wait_records(self, suffixes, timeout=120):
        """Waits until the recording is finished: a file with each suffix, no
        stream file left, and sizes that no longer change."""
        def finished():
            names = self.record_files()
            if any(n.endswith(".sky") for n in names):
                return None
            if not all(any(n.endswith(s) for n in names) for s in suffixes):
                return None
            return {n: os.path.getsize(os.path.join(self.records, n)) for n in names}
        last = [wait_until(finished, timeout, "the recording's files %s" % (suffixes,))]

        def stable():
            # Two looks a second apart that agree; a later recording that
            # appears meanwhile only restarts the comparison.
            time.sleep(1.0)
            now = finished()
            same = now is not None and now == last[0]
            last[0] = now
            return now if same else None
        return wait_until(stable, timeout, "stable record files")

    def record_path(self, suffix):
        names = [n for n in self.record_files() if n.endswith(suffix)]
        if len(names) != 1:
            raise AssertionError("expected one %s file, found %s" % (suffix, self.record_files()))
        return os.path.join(self.records, names[0])


def write_config(path, values):
    """A Config.ini as a user's program would have it: section [Setting], CRLF."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\r\n") as f:
        f.write("[Setting]\n")
        for key, value in values.items():
            f.write("%s=%s\n" % (key, value))


def read_wave(path):
    """(channels, rate, bits, data) of a PCM WAV file, checking the header sizes."""
    with open(path, "rb") as f:
        raw = f.read()
    if len(raw) < 44 or raw[0:4] != b"RIFF" or raw[8:16] != b"WAVEfmt " or raw[36:40] != b"data":
        raise AssertionError("%s is not a canonical WAV file" % path)
    riff, = struct.unpack_from("<I", raw, 4)
    fmt_size, fmt, channels, rate, byte_rate, align, bits = struct.unpack_from("<IHHIIHH", raw, 16)
    data_size, = struct.unpack_from("<I", raw, 40)
    if riff != len(raw) - 8 or data_size != len(raw) - 44:
        raise AssertionError("%s: header sizes %d/%d for a file of %d bytes" % (path, riff, data_size, len(raw)))
    if fmt_size != 16 or fmt != 1 or byte_rate != rate * align or align != channels * bits // 8:
        raise AssertionError("%s: inconsistent format chunk" % path)
    return channels, rate, bits, raw[44:]


def samples(data):
    count = len(data) // 2
    return list(struct.unpack("<%dh" % count, data[:count * 2]))


def clip(value):
    return max(-32768, min(32767, value))
