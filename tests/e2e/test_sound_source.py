"""End-to-end: CalvoroRecord.exe under wine records the computer's own sound.

A private PulseAudio server plays a steady tone into each of two null sinks:
"Speakers" (what a call app would play: the far end) and "Microphone" (the
default source: the near end). The recorder takes the far end from the
speakers' monitor by name (FarEndDevice), as a user with a "Stereo Mix" input
would, and the near end from the default capture device. A recording is
judged by frequency and length: the far end's tone on the left, the
microphone's on the right.

    xvfb-run -a python3 tests/e2e/test_sound_source.py <build/windows/bin>
"""

import math
import os
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "driver"))
sys.path.insert(0, HERE)
import recorder_driver as rd  # noqa: E402
import e2e_support as e2e  # noqa: E402
from pulse_sound import PulseSound  # noqa: E402

FAR_HZ, NEAR_HZ = 1000, 660
RATE = 16000


def tone_level(samples, hz):
    """The amplitude of the `hz` component (Goertzel), relative to full scale."""
    if not samples:
        return 0.0
    w = 2 * math.pi * hz / RATE
    coeff = 2 * math.cos(w)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return 2 * math.sqrt(max(power, 0.0)) / len(samples) / 32768.0


def rms(samples):
    return math.sqrt(sum(x * x for x in samples) / max(1, len(samples))) / 32768.0


class SoundSource(e2e.RecorderTest):
    settings = {"CaptureSource": 1, "FarEndDevice": "Monitor of Speakers", "SaveLF": 1, "RecordFormat": 16}

    def setUp(self):
        # The server first: wine finds the sound devices when a process starts.
        self.pulse = PulseSound(speakers_hz=FAR_HZ, mic_hz=NEAR_HZ).start()
        super().setUp()
        self.wine.env.update(self.pulse.env())
        self.pulse.use_in_wine_prefix(self.wine.env)

    def tearDown(self):
        try:
            super().tearDown()
        finally:
            self.pulse.stop()

    def steps(self, *steps):
        """Presses the recorder's buttons as a user would, with pauses between."""
        text = "\n".join(["attach none"] + list(steps)) + "\n"
        self.assertEqual(self.folder.run_scenario(text, name="hand"), 0, "pressing the buttons failed")

    def channels(self):
        self.folder.wait_records([".wav"])
        channels, rate, bits, data = rd.read_wave(self.folder.record_path(".wav"))
        self.assertEqual((rate, bits), (RATE, 16))
        values = rd.samples(data)
        return channels, [values[c::channels] for c in range(channels)]

    def assert_tone(self, samples, hz, other_hz, what):
        # Half a second from a quarter second after the first sound: the
        # devices' first packets take a moment under wine, longer on a busy
        # machine, and that time is silence.
        first = next((i for i, x in enumerate(samples) if x != 0), len(samples))
        self.assertLess(first, 3 * RATE, "%s: no sound in the first three seconds" % what)
        stretch = samples[first + RATE // 4:first + RATE // 4 + RATE // 2]
        self.assertEqual(len(stretch), RATE // 2, "%s: too short" % what)
        level, other = tone_level(stretch, hz), tone_level(stretch, other_hz)
        self.assertGreater(level, 0.05, "%s: no %d Hz tone (level %.4f)" % (what, hz, level))
        self.assertLess(other, level / 30, "%s: %d Hz beside %d Hz (%.4f vs %.4f)" % (what, other_hz, hz, other, level))
        # Nothing else of note: the tone is most of the signal.
        self.assertGreater(level / math.sqrt(2), 0.8 * rms(stretch), "%s: more than the tone" % what)

    def test_record_and_stop_by_hand_put_the_far_end_left_and_the_microphone_right(self):
        self.start()
        # The client's line names the source and the hotkey instead.
        rd.wait_until(lambda: self.folder.recorder_text(rd.IDC_CLIENT_STATUS) ==
                      (True, "录音来源：本机声音（任意通话软件），热键 Ctrl+Alt+R"), 30, "the source's line")
        self.steps("press %d" % rd.IDC_RECORD, "sleep 4000", "press %d" % rd.IDC_STOP)
        channels, (left, right) = self.channels()
        self.assertEqual(channels, 2)
        self.assertEqual(len(left), len(right))
        seconds = len(left) / RATE
        self.assertGreater(seconds, 3.0, "the recording is %.2f s long" % seconds)
        self.assertLess(seconds, 8.0, "the recording is %.2f s long" % seconds)
        self.assert_tone(left, FAR_HZ, NEAR_HZ, "left (far end)")
        self.assert_tone(right, NEAR_HZ, FAR_HZ, "right (microphone)")
        # Started by hand, so named after the source where partners would stand.
        self.assertRegex(os.path.basename(self.folder.record_path(".wav")),
                         r"^\d{4}年\d{2}月\d{2}日 \d{2}时\d{2}分\d{2}秒\(本机声音\)\.wav$")

    def test_a_pause_leaves_its_time_out_of_both_directions_alike(self):
        self.start()
        self.steps("press %d" % rd.IDC_RECORD, "sleep 3000", "press %d" % rd.IDC_PAUSE, "sleep 3000",
                   "press %d" % rd.IDC_RECORD, "sleep 3000", "press %d" % rd.IDC_STOP)
        channels, (left, right) = self.channels()
        self.assertEqual(len(left), len(right))
        seconds = len(left) / RATE
        # Six seconds recorded, three paused: the pause is not in the file.
        self.assertGreater(seconds, 5.0, "the recording is %.2f s long" % seconds)
        self.assertLess(seconds, 8.5, "the recording is %.2f s long" % seconds)
        self.assert_tone(left[-3 * RATE:], FAR_HZ, NEAR_HZ, "left after the pause")
        self.assert_tone(right[-3 * RATE:], NEAR_HZ, FAR_HZ, "right after the pause")

    def test_the_hotkey_starts_and_stops_a_recording(self):
        if shutil.which("xdotool") is None:
            self.skipTest("xdotool is missing")
        # A hotkey of this test's own, and the line says it is registered
        # (not taken by another program, such as a recorder left running).
        self.start(dict(self.settings, RecordHotkey="Ctrl+Shift+F9"))
        rd.wait_until(lambda: self.folder.recorder_text(rd.IDC_CLIENT_STATUS) ==
                      (True, "录音来源：本机声音（任意通话软件），热键 Ctrl+Shift+F9"), 30, "the hotkey on the source's line")
        env = dict(self.wine.env)

        def key():
            # Wine sees keys only while one of its windows has the focus (on
            # Windows a hotkey works whatever has it). There is no window
            # manager on this display, and another test may have left the
            # pointer anywhere: the recorder's window is given the input
            # focus directly, with the pointer over it.
            found = rd.wait_until(
                lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Calvoro Record"], env=env,
                                       stdout=subprocess.PIPE, timeout=30).stdout.split(),
                60, "the recorder's window on the display")
            window = found[-1]
            subprocess.run(["xdotool", "mousemove", "--window", window, "20", "20"], env=env, timeout=30)
            subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, timeout=30)
            subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+shift+F9"], env=env, check=True, timeout=30)

        key()
        rd.wait_until(lambda: any(n.endswith(".sky") for n in self.folder.record_files()), 60,
                      "a recording started by the hotkey")
        time.sleep(3)
        key()
        channels, (left, right) = self.channels()
        self.assertGreater(len(left) / RATE, 2.0)
        self.assert_tone(right, NEAR_HZ, FAR_HZ, "right (microphone)")


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        e2e.BIN = sys.argv.pop(1)
    else:
        e2e.BIN = os.path.join(rd.TOP, "build", "windows", "bin")
    unittest.main(verbosity=2)
