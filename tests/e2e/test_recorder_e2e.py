"""End-to-end: the simulated client places calls against the real
CalvoroRecord.exe under wine, and the recordings are checked sample for sample
against what the client sent.

Run by ctest in the Windows build tree (it needs a display: xvfb-run):
    python3 tests/e2e/test_recorder_e2e.py <build/windows/bin>
"""

import errno
import os
import re
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "driver"))
import recorder_driver as rd  # noqa: E402

BIN = None
# The name of a recording in the first language: the date and time with its
# words, then the partners in parentheses.
NAME = re.compile(r"^\d{4}年\d{2}月\d{2}日 \d{2}时\d{2}分\d{2}秒\((?P<partners>[^)]*)\)\.(?P<ext>\w+)$")
# Bytes the end of a stream may lose: what was still in flight when the call's
# end stopped the writers (the client ends its streams before it reports the end).
TAIL = 16000
SECOND = 32000  # bytes of one second of one direction


def scenario(*steps, calls=(), attach="0"):
    lines = ["user alice", "attach " + attach, "timeout 90000", "hide-windows"]
    for call, partner, out_signal, in_signal in calls:
        lines += ["partner %d %s" % (call, partner), "audio %d out %s" % (call, out_signal),
                  "audio %d in %s" % (call, in_signal)]
    return "\n".join(lines + ["wait attach"] + list(steps) + ["exit"]) + "\n"


def to_bytes(values):
    return b"".join(v.to_bytes(2, "little", signed=True) for v in values)


def locate(recorded, sent, what):
    """Where `recorded` starts in `sent`; the whole of it must be there."""
    start = sent.find(recorded[:256])
    if start < 0 or sent[start:start + len(recorded)] != recorded:
        raise AssertionError("%s is not a contiguous stretch of what was sent" % what)
    return start


def split_after_pause(recorded, sent, what):
    """A stream with one stretch missing: (end of the first stretch in `sent`,
    start of the second in `sent`)."""
    n = 0
    step = 4096
    while n < len(recorded) and recorded[n:n + step] == sent[n:n + step]:
        n += step
    while n < len(recorded) and n < len(sent) and recorded[n] == sent[n]:
        n += 1
    rest = recorded[n:]
    if not rest:
        raise AssertionError("%s has no second stretch" % what)
    return n, locate(rest, sent, what + " after the pause")


class RecorderTest(unittest.TestCase):
    settings = {}

    def setUp(self):
        self.wine = rd.Wine(BIN)
        self.folder = rd.ProgramFolder(self.wine, dict(self.settings))

    def tearDown(self):
        try:
            self.folder.exit_recorder()
        finally:
            self.folder.kill()
            if self._failed():
                print("kept for inspection:", self.folder.root, file=sys.stderr)
            else:
                shutil.rmtree(self.folder.root, ignore_errors=True)

    def _failed(self):
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result is None:
            return False
        return any(test is self for test, _ in result.failures + result.errors)

    def start(self, settings=None, args=()):
        if settings is not None:
            self.folder = rd.ProgramFolder(self.wine, settings, root=self.folder.root)
        self.folder.start_recorder(args)
        self.folder.wait_recorder_window()

    def call(self, text):
        self.assertEqual(self.folder.run_scenario(text), 0, "the simulated client's scenario failed")

    def wave(self, suffix=".wav"):
        path = self.folder.record_path(suffix)
        match = NAME.match(os.path.basename(path))
        self.assertIsNotNone(match, "unexpected name " + os.path.basename(path))
        return match.group("partners"), rd.read_wave(path)

    def assert_stream(self, recorded, sent, what):
        """The recording of a direction is what the client sent, from its first
        byte, with at most the in-flight tail missing."""
        self.assertEqual(recorded, sent[:len(recorded)], what + ": bytes differ from what was sent")
        self.assertGreaterEqual(len(recorded), len(sent) - TAIL, what + ": too much audio missing")

    def assert_mono_mix(self, data, call, minimum_samples):
        out, inn = rd.samples(self.folder.sent(call, "out")), rd.samples(self.folder.sent(call, "in"))
        mixed = rd.samples(data)
        self.assertGreaterEqual(len(mixed), minimum_samples)
        n = max(0, min(len(mixed), len(out), len(inn)) - TAIL // 2)
        self.assertEqual(mixed[:n], [rd.clip(a + b) for a, b in zip(out[:n], inn[:n])])
        return mixed


class MonoAndStereo(RecorderTest):
    def test_mono_mix_sums_both_directions_with_clipping(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        self.call(scenario("call 7 INPROGRESS", "wait audio 7 out 3000", "wait audio 7 in 3000",
                           "call 7 FINISHED",
                           calls=[(7, "bob", "sine 440 20000", "sine 440 20000")]))
        self.folder.wait_records([".wav"])
        partners, (channels, rate, bits, data) = self.wave()
        self.assertEqual((partners, channels, rate, bits), ("bob", 1, 16000, 16))
        mixed = self.assert_mono_mix(data, 7, 16000 * 3 - TAIL // 2)
        self.assertIn(32767, mixed)
        self.assertIn(-32768, mixed)

    def test_stereo_puts_the_far_end_left_and_the_microphone_right(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16, "SaveLF": 1})
        self.call(scenario("call 8 INPROGRESS", "wait audio 8 out 3000", "call 8 FINISHED",
                           calls=[(8, "carol", "mls 3 12000", "noise 5 9000")]))
        self.folder.wait_records([".wav"])
        partners, (channels, rate, bits, data) = self.wave()
        self.assertEqual((partners, channels, rate, bits), ("carol", 2, 16000, 16))
        frames = rd.samples(data)
        left, right = to_bytes(frames[0::2]), to_bytes(frames[1::2])
        sent_out, sent_in = self.folder.sent(8, "out"), self.folder.sent(8, "in")
        recorded_out = left[:len(sent_out)]
        recorded_in = right[:len(sent_in)]
        self.assert_stream(recorded_out.rstrip(b"\0") or recorded_out, sent_out, "left")
        self.assert_stream(recorded_in.rstrip(b"\0") or recorded_in, sent_in, "right")


class OneDirection(RecorderTest):
    def one_way(self, way, kept, other):
        self.start({"AutoRecord": 1, "RecordFormat": 16, "RecordWay": way})
        self.call(scenario("call 9 INPROGRESS", "wait audio 9 %s 2500" % kept, "call 9 FINISHED",
                           calls=[(9, "dave", "mls 11 9000", "mls 12 9000")]))
        self.folder.wait_records([".wav"])
        partners, (channels, _, _, data) = self.wave()
        self.assertEqual((partners, channels), ("dave", 1))
        self.assert_stream(data, self.folder.sent(9, kept), kept)
        # Only the chosen direction was asked for.
        commands = self.folder.commands()
        asked = {"out": 'ALTER CALL 9 SET_OUTPUT SOUNDCARD="default" port="6285"',
                 "in": 'ALTER CALL 9 SET_CAPTURE_MIC port="7285"'}
        self.assertIn(asked[kept], commands)
        self.assertNotIn(asked[other], commands)
        self.assertEqual([n for n in self.folder.record_files() if n.endswith(".sky")], [])

    def test_record_way_1_records_only_the_microphone(self):
        self.one_way(1, "in", "out")

    def test_record_way_2_records_only_the_far_end(self):
        self.one_way(2, "out", "in")


class Calls(RecorderTest):
    def test_two_overlapping_calls_make_one_recording_named_after_both(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        self.call(scenario("call 1 INPROGRESS", "wait audio 1 out 1500",
                           "call 2 INPROGRESS", "wait audio 2 out 1500",
                           "call 1 FINISHED", "wait audio 2 out 2500", "call 2 FINISHED",
                           calls=[(1, "erin", "sine 300 4000", "silence"),
                                  (2, "frank", "sine 500 4000", "silence")]))
        self.folder.wait_records([".wav"])
        self.assertEqual(len([n for n in self.folder.record_files() if n.endswith(".wav")]), 1)
        partners, (_, _, _, data) = self.wave()
        self.assertEqual(partners, "erin frank")
        # Both calls' far ends arrive on the same port and both end up in it.
        sent = len(self.folder.sent(1, "out")) + len(self.folder.sent(2, "out"))
        self.assertGreaterEqual(len(data), sent - 2 * TAIL)
        self.assertLessEqual(len(data), sent)

    def test_a_call_right_after_another_gets_its_own_recording(self):
        # The second call comes into progress while the first one's recording may
        # still be being finished; it is recorded all the same.
        self.start({"AutoRecord": 1, "RecordFormat": 1 | 16})
        self.call(scenario("call 11 INPROGRESS", "wait audio 11 out 2000", "call 11 FINISHED",
                           "call 12 INPROGRESS", "wait audio 12 out 2000", "call 12 FINISHED",
                           calls=[(11, "kate", "mls 51 8000", "silence"),
                                  (12, "liam", "mls 52 8000", "silence")]))
        self.folder.wait_records([".wav", ".mp3"])
        rd.wait_until(lambda: len([n for n in self.folder.record_files() if n.endswith(".mp3")]) == 2, 60,
                      "both recordings encoded")
        waves = sorted(n for n in self.folder.record_files() if n.endswith(".wav"))
        self.assertEqual([NAME.match(n).group("partners") for n in waves], ["kate", "liam"])
        _, _, _, first = rd.read_wave(os.path.join(self.folder.records, waves[0]))
        self.assert_mono_mix(first, 11, 16000 * 2 - TAIL // 2)
        # The second call's microphone is silent, so its mix is its far end: all
        # of it but, at most, what arrived in the instant the first recording's
        # writers were being stopped.
        _, _, _, second = rd.read_wave(os.path.join(self.folder.records, waves[1]))
        body = second.rstrip(b"\0")
        start = locate(body, self.folder.sent(12, "out"), "the second call")
        self.assertLess(start, SECOND // 4)
        self.assertGreaterEqual(len(body), 2 * SECOND - TAIL - start)

    def test_record_pressed_mid_call_keeps_only_what_follows(self):
        self.start({"AutoRecord": 0, "RecordFormat": 16, "SaveLF": 1})
        self.call(scenario("call 3 INPROGRESS", "wait audio 3 out 2000", "press %d" % rd.IDC_RECORD,
                           "wait audio 3 out 4500", "call 3 FINISHED",
                           calls=[(3, "gina", "mls 21 10000", "mls 22 10000")]))
        self.folder.wait_records([".wav"])
        partners, (channels, _, _, data) = self.wave()
        self.assertEqual((partners, channels), ("gina", 2))
        frames = rd.samples(data)
        for name, recorded in (("out", to_bytes(frames[0::2])), ("in", to_bytes(frames[1::2]))):
            body = recorded.rstrip(b"\0")
            start = locate(body, self.folder.sent(3, name), name)
            self.assertGreaterEqual(start, int(1.5 * SECOND), name + ": audio from before the press was recorded")
            self.assertGreaterEqual(len(body), int(1.5 * SECOND))

    def test_pause_and_resume_leave_out_the_paused_stretch(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16, "RecordWay": 2})
        self.call(scenario("call 4 INPROGRESS", "wait audio 4 out 2000", "press %d" % rd.IDC_PAUSE,
                           "wait audio 4 out 4500", "press %d" % rd.IDC_RECORD,
                           "wait audio 4 out 6500", "call 4 FINISHED",
                           calls=[(4, "hugo", "mls 31 10000", "silence")]))
        self.folder.wait_records([".wav"])
        _, (_, _, _, data) = self.wave()
        sent = self.folder.sent(4, "out")
        paused_at, resumed_at = split_after_pause(data, sent, "out")
        self.assertGreaterEqual(paused_at, int(1.5 * SECOND))
        gap = resumed_at - paused_at
        self.assertGreaterEqual(gap, int(1.5 * SECOND), "the paused stretch was recorded")
        self.assertLessEqual(gap, int(4 * SECOND))
        self.assertGreaterEqual(len(data) - paused_at, SECOND)


class Encoders(RecorderTest):
    def run_call(self, formats):
        self.start({"AutoRecord": 1, "RecordFormat": formats})
        self.call(scenario("call 5 INPROGRESS", "wait audio 5 out 3000", "call 5 FINISHED",
                           calls=[(5, "iris", "sine 440 8000", "noise 9 3000")]))

    def duration(self, suffix):
        path = self.folder.record_path(suffix)
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                              "default=noprint_wrappers=1:nokey=1", path], capture_output=True, text=True)
        return float(out.stdout.strip())

    def decoded_frames(self, command, suffix):
        """Frames of the WAV file a Debian decoder makes of the recording's file."""
        out = os.path.join(self.folder.root, "decoded" + suffix + ".wav")
        subprocess.run(command + [self.folder.record_path(suffix), out] if command[0] != "oggdec"
                       else command + ["-o", out, self.folder.record_path(suffix)],
                       check=True, capture_output=True)
        return int(subprocess.run(["soxi", "-s", out], check=True, capture_output=True, text=True).stdout)

    def test_mp3_ogg_flac_and_opus_are_made_by_the_program_and_decode_to_the_wavs_length(self):
        # No encoder program beside the recorder: it encodes by itself.
        self.assertFalse([n for n in os.listdir(self.folder.program) if n.lower() in
                          [e.lower() for e in rd.EXTERNAL_ENCODERS]])
        self.run_call(1 | 4 | 8 | 16 | 32)
        self.folder.wait_records([".mp3", ".ogg", ".flac", ".opus", ".wav"])
        _, (_, _, _, data) = self.wave(".wav")
        frames = len(data) // 2
        self.assertGreater(frames, 16000 * 2)
        # LAME's decoder takes off its own delay but not the encoder's (576
        # samples): the rest is within one frame of 576.
        self.assertLessEqual(abs(self.decoded_frames(["lame", "--quiet", "--decode"], ".mp3") - 576 - frames), 576)
        self.assertEqual(self.decoded_frames(["oggdec", "-Q"], ".ogg"), frames)
        self.assertLessEqual(abs(self.decoded_frames(["opusdec", "--quiet", "--rate", "16000"], ".opus") - frames),
                             320)
        # FLAC is lossless: it decodes to exactly the WAV's samples.
        raw = subprocess.run(["flac", "-d", "-c", "-s", "--force-raw-format", "--endian=little",
                              "--sign=signed", self.folder.record_path(".flac")],
                             capture_output=True, check=True).stdout
        self.assertEqual(raw, data)

    def test_an_external_lame_beside_the_program_takes_the_place_of_the_built_in_mp3(self):
        log = os.path.join(self.folder.root, "encoders.log")
        self.wine.env["CALVORO_ENCODE_LOG"] = log
        self.folder = rd.ProgramFolder(self.wine, {"AutoRecord": 1, "RecordFormat": 1 | 32},
                                       root=self.folder.root, encoders=("lame.exe",))
        self.folder.start_recorder()
        self.folder.wait_recorder_window()
        self.call(scenario("call 5 INPROGRESS", "wait audio 5 out 3000", "call 5 FINISHED",
                           calls=[(5, "iris", "sine 440 8000", "noise 9 3000")]))
        self.folder.wait_records([".mp3", ".opus"])
        with open(log) as f:
            self.assertEqual(f.read().split(), ["lame.exe", "0"])
        names = self.folder.record_files()
        self.assertEqual([n for n in names if n.endswith(".wav")], [], names)
        self.assertAlmostEqual(self.duration(".mp3"), 3.0, delta=0.6)
        self.assertAlmostEqual(self.duration(".opus"), 3.0, delta=0.6)

    def test_wav_is_kept_beside_the_mp3_when_chosen(self):
        self.run_call(1 | 16)
        self.folder.wait_records([".mp3", ".wav"])
        self.assertAlmostEqual(self.duration(".mp3"), 3.0, delta=0.6)
        _, (channels, _, _, data) = self.wave(".wav")
        self.assertEqual(channels, 1)
        self.assert_mono_mix(data, 5, 16000 * 3 - TAIL // 2)


class Application(RecorderTest):
    def test_second_start_brings_the_hidden_first_window_forward(self):
        self.start({"RecordFormat": 16}, args=["hide"])
        time.sleep(3)  # the start-up period, in which a hidden start stays hidden, is 2 s
        self.assertEqual(self.folder.recorder_state(), rd.RECORDER_HIDDEN)

        def second_start_shows_the_first():
            # On a slow machine the first one's start-up period may not be over
            # yet; a user would simply start it again.
            second = self.folder.start_recorder()
            second.wait(timeout=60)
            self.assertIsNone(self.folder.recorder.poll(), "the first instance ended")
            return self.folder.recorder_state() == rd.RECORDER_VISIBLE
        rd.wait_until(second_start_shows_the_first, 60, "the first window shown", interval=1)

    def test_tray_double_click_shows_the_hidden_window_and_close_hides_it(self):
        self.start({"RecordFormat": 16}, args=["hide"])
        time.sleep(3)  # past the start-up period
        self.assertEqual(self.folder.recorder_state(), rd.RECORDER_HIDDEN)
        for step, state in (("post-recorder %d %d %d" % (rd.WM_TRAY_NOTIFY, rd.TRAY_ICON_ID, rd.WM_LBUTTONDBLCLK),
                             rd.RECORDER_VISIBLE),
                            ("post-recorder 16", rd.RECORDER_HIDDEN),  # WM_CLOSE: hidden, not ended
                            ("post-recorder %d %d %d" % (rd.WM_TRAY_NOTIFY, 99, rd.WM_LBUTTONDBLCLK),
                             rd.RECORDER_HIDDEN),  # another icon's click
                            ("post-recorder %d %d %d" % (rd.WM_TRAY_NOTIFY, rd.TRAY_ICON_ID, rd.WM_LBUTTONDBLCLK),
                             rd.RECORDER_VISIBLE)):
            self.folder.run_scenario("attach none\n%s\nsleep 300\n" % step, name="tray", timeout=60,
                                     folder=os.path.join(self.folder.sim, "tray"))
            rd.wait_until(lambda: self.folder.recorder_state() == state, 30, "the window's state after " + step)
        self.assertIsNone(self.folder.recorder.poll())

    def end_mid_call(self, step, call, partner, seeds):
        """Ends the recorder by `step` during a recorded call: the process must
        end with the call's recording complete and no stream file left."""
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        self.call(scenario("call %d INPROGRESS" % call, "wait audio %d out 2500" % call, step, "sleep 500",
                           calls=[(call, partner, "mls %d 8000" % seeds[0], "mls %d 8000" % seeds[1])]))
        self.folder.recorder.wait(timeout=120)
        names = self.folder.record_files()
        self.assertEqual([n for n in names if n.endswith(".sky")], [], names)
        partners, (_, _, _, data) = self.wave()
        self.assertEqual(partners, partner)
        self.assert_mono_mix(data, call, 16000 * 2)

    def test_exit_during_a_recording_leaves_complete_files(self):
        self.end_mid_call("post-recorder %d" % rd.WM_EXIT_REQUEST, 6, "jack", (41, 42))

    def test_exit_from_the_tray_menu_during_a_recording_leaves_complete_files(self):
        self.end_mid_call("press %d" % rd.ID_TRAY_EXIT, 8, "lee", (45, 46))

    def test_link_window_closed_from_outside_still_finishes_the_recording(self):
        # WM_CLOSE to the window the recorder attached with ends its loop
        # without the exit command; the running recording is finished anyway.
        self.end_mid_call("post-link 16", 7, "kim", (43, 44))


# A recording finished at the next start after a crash.
RECOVERED = re.compile(r"^\d{4}年\d{2}月\d{2}日 \d{2}时\d{2}分\d{2}秒 \(recovered\)\((?P<partners>[^)]*)\)\.wav$")
# The most audio a crash may lose: the writers' pace (2 s) and what was in flight.
CRASH_LOSS = 4 * SECOND


def matched(recorded, expected):
    """How many samples at the start of `recorded` equal `expected`."""
    n = 0
    while n < len(recorded) and n < len(expected) and recorded[n] == expected[n]:
        n += 1
    return n


class NothingLost(RecorderTest):
    def sent_size(self, call, direction):
        path = os.path.join(self.folder.sim, "call%d_%s.raw" % (call, direction))
        return os.path.getsize(path) if os.path.exists(path) else 0

    def wait_waves(self, count, timeout=120):
        def done():
            names = self.folder.record_files()
            waves = [n for n in names if n.endswith(".wav")]
            return waves if len(waves) == count and not any(n.endswith(".sky") for n in names) else None
        try:
            return rd.wait_until(done, timeout, "%d recordings" % count)
        except TimeoutError:
            raise AssertionError("expected %d recordings, found %s" % (count, {
                n: os.path.getsize(os.path.join(self.folder.records, n)) for n in self.folder.record_files()}))

    def killed_mid_call(self, settings, kill, call, partner):
        """Kills the recorder in the middle of a recorded call; the next start
        finishes the recording, which holds what the client sent up to the
        kill but for the writers' pace."""
        self.start(dict({"AutoRecord": 1, "RecordFormat": 16}, **settings))
        client = self.folder.start_scenario(scenario(
            "call %d INPROGRESS" % call, "wait audio %d out 6000" % call, "sleep 60000",
            calls=[(call, partner, "mls %d 8000" % (2 * call), "mls %d 8000" % (2 * call + 1))]))
        try:
            rd.wait_until(lambda: self.sent_size(call, "out") >= 6 * SECOND, 120, "six seconds of the call")
            # A second program looking for left-behind recordings (a second
            # instance in another session) leaves the running one alone.
            self.assertEqual(self.wine.run(os.path.join(self.wine.bin_dir, "RecoverFolder.exe"),
                                           [rd.winpath(self.folder.records)], 60, self.folder.log), 0)
            at_kill = min(self.sent_size(call, "out"), self.sent_size(call, "in"))
            kill()
            self.folder.recorder.wait(timeout=60)
        finally:
            client.kill()
            client.wait()
        left = self.folder.record_files()
        self.assertTrue(any(n.endswith("_Out.sky") for n in left) and any(n.endswith(".rec") for n in left), left)
        self.folder.recorder = None
        self.start()

        def recovered():
            names = self.folder.record_files()
            done = [n for n in names if RECOVERED.match(n)]
            return done if done and not any(n.endswith((".sky", ".rec")) for n in names) else None
        name, = rd.wait_until(recovered, 120, "the recovered recording")
        self.assertEqual(RECOVERED.match(name).group("partners"), partner)
        channels, _, _, data = rd.read_wave(os.path.join(self.folder.records, name))
        out, inn = rd.samples(self.folder.sent(call, "out")), rd.samples(self.folder.sent(call, "in"))
        least = (at_kill - CRASH_LOSS) // 2
        mixed = rd.samples(data)
        if channels == 2:
            for recorded, sent, what in ((mixed[0::2], out, "left"), (mixed[1::2], inn, "right")):
                n = matched(recorded, sent)
                self.assertGreaterEqual(n, least, what + ": too much audio lost")
                self.assertEqual(set(recorded[n:]) - {0}, set(), what + ": more than silence after the audio")
        else:
            n = matched(mixed, [rd.clip(a + b) for a, b in zip(out, inn)])
            self.assertGreaterEqual(n, least, "too much audio lost")

    def test_a_stereo_recording_killed_with_kill_9_is_recovered_at_the_next_start(self):
        self.killed_mid_call({"SaveLF": 1}, lambda: self.folder.kill(), 21, "nina")

    def test_a_mono_recording_ended_by_terminate_process_is_recovered_at_the_next_start(self):
        def terminate():
            subprocess.run(["wine", "taskkill", "/F", "/IM", "CalvoroRecord.exe"], env=self.wine.env,
                           capture_output=True, timeout=60)
        self.killed_mid_call({}, terminate, 22, "omar")

    def test_a_full_disk_keeps_what_was_written_and_the_next_call_records_once_space_is_free(self):
        # The record folder on a small file system of its own, filled by the call.
        size = 640 * 1024
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", self.folder.records],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small file system here: " + mounted.stderr.decode(errors="replace"))
        self.addCleanup(shutil.rmtree, self.folder.root, True)
        self.addCleanup(subprocess.run, ["umount", "-l", self.folder.records], capture_output=True)
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        # 64,000 bytes a second fill it in about ten seconds.
        self.call(scenario("call 25 INPROGRESS", "wait audio 25 out 14000", "call 25 FINISHED",
                           calls=[(25, "rita", "mls 50 8000", "mls 51 8000")]))
        full, = self.wait_waves(1)
        self.assertEqual(NAME.match(full).group("partners"), "rita")
        data = rd.read_wave(os.path.join(self.folder.records, full))[3]
        out, inn = rd.samples(self.folder.sent(25, "out")), rd.samples(self.folder.sent(25, "in"))
        mixed = rd.samples(data)
        # Everything that reached the disk, the two directions summed.
        self.assertGreaterEqual(len(data), size // 2 - 64 * 1024)
        self.assertGreaterEqual(matched(mixed, [rd.clip(a + b) for a, b in zip(out, inn)]),
                                len(data) // 2 // 2, "the mixed part differs from what was sent")
        # Space freed: the next call is recorded as usual.
        os.remove(os.path.join(self.folder.records, full))
        self.call(scenario("call 26 INPROGRESS", "wait audio 26 out 2000", "call 26 FINISHED",
                           calls=[(26, "sam", "mls 52 8000", "mls 53 8000")]))
        after, = self.wait_waves(1)
        self.assertEqual(NAME.match(after).group("partners"), "sam")
        self.assert_mono_mix(rd.read_wave(os.path.join(self.folder.records, after))[3], 26, 16000)

    def test_an_audio_connection_reset_mid_call_goes_on_recording_on_the_new_connection(self):
        # The far end alone, so that the recording is that stream as received.
        self.start({"AutoRecord": 1, "RecordFormat": 16, "RecordWay": 2})
        self.call(scenario("call 27 INPROGRESS", "wait audio 27 out 2000", "reset 27 out", "wait audio 27 out 5000",
                           "call 27 FINISHED", calls=[(27, "tom", "mls 54 8000", "mls 55 8000")]))
        with open(os.path.join(self.folder.sim, "events.log"), encoding="utf-8") as f:
            events = [line.strip() for line in f]
        self.assertIn("reset 27 out", events)
        self.assertEqual(len([e for e in events if e.startswith("connect 27 out")]), 2, events)
        name, = self.wait_waves(1)
        self.assertEqual(NAME.match(name).group("partners"), "tom")
        recorded = rd.read_wave(os.path.join(self.folder.records, name))[3]
        sent = self.folder.sent(27, "out")
        # What the reset cut off in flight may be missing; before and after it
        # the stream is as sent, and the new connection's audio is there.
        if recorded != sent[:len(recorded)]:
            end_first, start_second = split_after_pause(recorded, sent, "the far end")
            self.assertLessEqual(start_second - end_first, SECOND, "more than the reset's in-flight audio lost")
        self.assertGreaterEqual(len(recorded), len(sent) - TAIL - SECOND)
        self.assertGreaterEqual(len(recorded), 4 * SECOND)

    def test_a_client_killed_mid_call_ends_its_recording_and_a_new_client_is_recorded(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        client = self.folder.start_scenario(scenario(
            "call 23 INPROGRESS", "wait audio 23 out 3000", "sleep 60000",
            calls=[(23, "pia", "mls 46 8000", "mls 47 8000")]))
        try:
            rd.wait_until(lambda: self.sent_size(23, "out") >= 3 * SECOND, 120, "three seconds of the call")
        finally:
            client.kill()
            client.wait()
        first, = self.wait_waves(1)
        self.assertEqual(NAME.match(first).group("partners"), "pia")
        self.assert_mono_mix(rd.read_wave(os.path.join(self.folder.records, first))[3], 23, 16000 * 2)
        # The client starts again and places a call: it is attached and recorded.
        self.call(scenario("call 24 INPROGRESS", "wait audio 24 out 2500", "call 24 FINISHED",
                           calls=[(24, "quinn", "mls 48 8000", "mls 49 8000")]))
        second, = [n for n in self.wait_waves(2) if n != first]
        self.assertEqual(NAME.match(second).group("partners"), "quinn")
        self.assert_mono_mix(rd.read_wave(os.path.join(self.folder.records, second))[3], 24, 16000 * 2)


def hold_port(port, timeout=120):
    """A listening socket on 127.0.0.1:port, as another program would hold it
    (a test program beside this one may hold it for a while first)."""
    def bound():
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.bind(("127.0.0.1", port))
            s.listen(4)
            s.setblocking(False)
            return s
        except OSError as e:
            s.close()
            if e.errno != errno.EADDRINUSE:
                raise
            return None
    return rd.wait_until(bound, timeout, "port %d to be free for the holder" % port, interval=0.5)


class FirstHour(RecorderTest):
    """What a new user meets: another program on the audio ports, a record
    folder deleted while the program runs, the notice of a saved recording."""

    def test_audio_ports_taken_by_another_program_are_replaced_and_the_call_recorded(self):
        holders = [hold_port(rd.OUT_PORT), hold_port(rd.IN_PORT)]
        try:
            self.start({"AutoRecord": 1, "RecordFormat": 16})
            self.call(scenario("call 31 INPROGRESS", "wait audio 31 out 3000", "wait audio 31 in 3000",
                               "call 31 FINISHED", calls=[(31, "ruth", "mls 50 8000", "mls 51 8000")]))
            self.folder.wait_records([".wav"])
            # The client was asked for two other ports, and sent there.
            ports = {}
            for line in self.folder.commands():
                m = re.match(r'ALTER CALL 31 (SET_OUTPUT|SET_CAPTURE_MIC)\b.* port="(\d+)"$', line)
                if m:
                    ports[m.group(1)] = int(m.group(2))
            self.assertEqual(set(ports), {"SET_OUTPUT", "SET_CAPTURE_MIC"})
            self.assertNotIn(ports["SET_OUTPUT"], (rd.OUT_PORT, rd.IN_PORT))
            self.assertNotIn(ports["SET_CAPTURE_MIC"], (rd.OUT_PORT, rd.IN_PORT, ports["SET_OUTPUT"]))
            with open(os.path.join(self.folder.sim, "events.log"), encoding="utf-8") as f:
                events = f.read()
            self.assertIn("connect 31 out %d" % ports["SET_OUTPUT"], events)
            self.assertIn("connect 31 in %d" % ports["SET_CAPTURE_MIC"], events)
            # Nothing reached the program that holds the usual ports.
            for holder in holders:
                with self.assertRaises(BlockingIOError):
                    holder.accept()
            partners, (channels, rate, bits, data) = self.wave()
            self.assertEqual((partners, channels), ("ruth", 1))
            self.assert_mono_mix(data, 31, 16000 * 2)
        finally:
            for holder in holders:
                holder.close()

    def test_a_record_folder_deleted_while_the_program_runs_is_made_again_for_the_next_call(self):
        deep = os.path.join(self.folder.root, "deep")
        records = os.path.join(deep, "er", "Records")
        self.start({"AutoRecord": 1, "RecordFormat": 16, "WavePath": rd.winpath(records)})
        self.folder.records = records
        rd.wait_until(lambda: os.path.isdir(records), 60, "the record folder made at the start")
        shutil.rmtree(deep)
        self.call(scenario("call 32 INPROGRESS", "wait audio 32 out 2500", "call 32 FINISHED",
                           calls=[(32, "sam", "mls 52 8000", "mls 53 8000")]))
        self.folder.wait_records([".wav"])
        partners, (channels, rate, bits, data) = self.wave()
        self.assertEqual(partners, "sam")
        self.assert_mono_mix(data, 32, 16000 * 2)

    def test_a_saved_recording_is_told_in_a_balloon_that_names_its_file(self):
        self.start({"AutoRecord": 1, "RecordFormat": 17})
        self.call(scenario("call 33 INPROGRESS", "wait audio 33 out 2000", "call 33 FINISHED",
                           calls=[(33, "tess", "sine 300 8000", "sine 500 8000")]))
        saved = re.compile(r"^录音已保存：(.+)。单击此处查看文件。$")
        shown = rd.wait_until(lambda: saved.match(self.folder.tray_balloon()), 120, "the saved recording's balloon")
        self.folder.wait_records([".wav", ".mp3"])
        # The encoded copy is the one named: the file the user will look for;
        # the window's recording line names it too, until the next call.
        name = os.path.basename(self.folder.record_path(".mp3"))
        self.assertEqual(shown.group(1), name)
        self.assertEqual(self.folder.recorder_text(rd.IDC_RECORD_STATUS), (True, "录音已保存：" + name))

    def test_an_attached_client_without_its_registry_value_shows_attached_while_recording(self):
        # No client installed: the registry does not name one, and no process
        # is called skype.exe.
        self.assertEqual(self.wine.run(self.wine.simskype(), ["--uninstall"], 60, self.folder.log), 0)
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        client = self.folder.start_scenario(scenario(
            "call 34 INPROGRESS", "wait audio 34 out 8000", "call 34 FINISHED",
            calls=[(34, "uma", "sine 300 8000", "sine 500 8000")]))
        try:
            attached = (True, "已连接到 Skype，当前用户：alice")
            rd.wait_until(lambda: self.folder.recorder_text(rd.IDC_CLIENT_STATUS) == attached, 60,
                          "the client line to say attached")
            # While the call is recorded, the line stays so: its checks every 5 s
            # find neither the registry value nor the process.
            rd.wait_until(lambda: any(n.endswith(".sky") for n in self.folder.record_files()), 60, "the recording")
            time.sleep(6)
            self.assertTrue(any(n.endswith(".sky") for n in self.folder.record_files()))
            self.assertEqual(self.folder.recorder_text(rd.IDC_CLIENT_STATUS), attached)
            self.assertEqual(client.wait(timeout=120), 0)
        finally:
            if client.poll() is None:
                client.kill()
        self.folder.wait_records([".wav"])


class OnlyTheClient(RecorderTest):
    """Other programs on the machine connect to the audio ports in the middle
    of a call; nothing of theirs reaches the recording. Under wine the system
    names no connection's owner, so this is the rule for unknown owners: a
    connection that arrives while the client streams is held, then closed."""

    def test_strangers_connecting_mid_call_leave_the_recording_exactly_what_the_client_sent(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16, "SaveLF": 1})
        client = self.folder.start_scenario(scenario(
            "call 41 INPROGRESS", "wait audio 41 out 1500", "wait audio 41 in 1500", "signal strangers",
            "wait-file strangers-done", "wait audio 41 out 6000", "call 41 FINISHED",
            calls=[(41, "vera", "mls 61 8000", "mls 62 8000")]))
        idle = None
        try:
            rd.wait_until(lambda: os.path.exists(os.path.join(self.folder.sim, "strangers")), 120,
                          "the call to stream")
            # One stranger stays connected without a word; one on each port
            # speaks 6,400 bytes of its own and leaves.
            idle = socket.create_connection(("127.0.0.1", rd.OUT_PORT), timeout=30)
            for port in (rd.OUT_PORT, rd.IN_PORT):
                with socket.create_connection(("127.0.0.1", port), timeout=30) as talker:
                    talker.sendall(b"\x55\x2a" * 3200)
            open(os.path.join(self.folder.sim, "strangers-done"), "w").close()
            # The idle one is closed while the call goes on.
            try:
                self.assertEqual(idle.recv(1), b"", "the idle stranger got bytes")
            except ConnectionResetError:
                pass
            self.assertEqual(client.wait(timeout=180), 0, "the simulated client's scenario failed")
        finally:
            if idle is not None:
                idle.close()
            if client.poll() is None:
                client.kill()
        self.folder.wait_records([".wav"])
        partners, (channels, _, _, data) = self.wave()
        self.assertEqual((partners, channels), ("vera", 2))
        frames = rd.samples(data)
        for what, recorded in (("out", to_bytes(frames[0::2])), ("in", to_bytes(frames[1::2]))):
            sent = self.folder.sent(41, what)
            recorded = recorded[:len(sent)]
            self.assert_stream(recorded.rstrip(b"\0") or recorded, sent, what)
            self.assertGreaterEqual(len(recorded), 5 * SECOND, what)


def write_wave(path, seconds, channels=1, rate=16000, mtime=None):
    """A recording as the program writes it: 16-bit PCM, a tone."""
    frames = int(seconds * rate)
    data = b"".join(int(8000 * ((i // 20) % 2 * 2 - 1)).to_bytes(2, "little", signed=True)
                    for i in range(frames * channels))
    header = b"RIFF" + (36 + len(data)).to_bytes(4, "little") + b"WAVEfmt " + (16).to_bytes(4, "little")
    header += (1).to_bytes(2, "little") + channels.to_bytes(2, "little") + rate.to_bytes(4, "little")
    header += (rate * channels * 2).to_bytes(4, "little") + (channels * 2).to_bytes(2, "little")
    header += (16).to_bytes(2, "little") + b"data" + len(data).to_bytes(4, "little")
    with open(path, "wb") as f:
        f.write(header + data)
    if mtime is not None:
        os.utime(path, (mtime, mtime))


def trashed(root):
    """What wine's shell moved to the Recycle Bin: the names in the XDG trash
    the test gave the program."""
    files = os.path.join(root, "xdg", "Trash", "files")
    return sorted(os.listdir(files)) if os.path.isdir(files) else []


class RecordingsAndRules(RecorderTest):
    """The recordings window, the contact rules and the keeping of recordings,
    through the real program."""

    def setUp(self):
        super().setUp()
        # The Recycle Bin of wine's shell is the XDG trash: one of the test's
        # own, on the file system of the record folder.
        self.wine.env["XDG_DATA_HOME"] = os.path.join(self.folder.root, "xdg")
        os.makedirs(os.path.join(self.folder.root, "xdg", "Trash", "files"), exist_ok=True)

    def test_the_window_lists_the_folder_follows_a_new_call_and_deletes_to_the_recycle_bin(self):
        records = self.folder.records
        write_wave(os.path.join(records, "2026年03月04日 10时20分30秒(alice).wav"), 5)
        write_wave(os.path.join(records, "2026年03月05日 11时00分00秒(bob carol).wav"), 65.5, channels=2)
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        self.folder.open_recordings()
        rows = rd.wait_until(lambda: (lambda r: r if r and len(r) == 2 else None)(self.folder.recordings_rows()),
                             60, "the two recordings listed")
        # Newest first; the durations are read from the files.
        rd.wait_until(lambda: all("…" not in r[2] for r in self.folder.recordings_rows()), 60, "the durations")
        rows = self.folder.recordings_rows()
        self.assertEqual([r[:4] for r in rows],
                         [["2026-03-05 11:00:00", "bob carol", "1:05", "WAV"],
                          ["2026-03-04 10:20:30", "alice", "0:05", "WAV"]])
        self.assertEqual(self.folder.recordings_status()[0], "共 2 个录音")

        # A call recorded while the window is open appears in it.
        self.call(scenario("call 31 INPROGRESS", "wait audio 31 out 2000", "call 31 FINISHED",
                           calls=[(31, "dave", "sine 300 8000", "silence")]))
        self.folder.wait_records([".wav"])
        rows = rd.wait_until(lambda: (lambda r: r if r and len(r) == 3 else None)(self.folder.recordings_rows()),
                             60, "the new recording listed")
        self.assertEqual(rows[0][1], "dave")
        new = [n for n in self.folder.record_files() if "(dave)" in n]
        self.assertEqual(len(new), 1)

        # Delete: the files go to the Recycle Bin, never deleted outright.
        self.assertTrue(self.folder.recordings_do("select", 0))
        self.assertTrue(self.folder.recordings_do("command", rd.IDC_RECORDINGS_DELETE))
        rd.wait_until(lambda: new[0] not in self.folder.record_files(), 60, "the recording gone from the folder")
        self.assertIn(new[0], trashed(self.folder.root))
        rd.wait_until(lambda: len(self.folder.recordings_rows() or []) == 2, 60, "the list without it")
        self.assertIn("回收站", self.folder.recordings_status()[1])

    def test_record_contacts_2_with_bob_listed_records_alice_and_not_bob(self):
        self.start({"AutoRecord": 1, "RecordFormat": 16, "RecordContacts": 2, "ContactList": "Bob"})
        run = self.folder.start_scenario(scenario(
            "call 41 INPROGRESS", "wait audio 41 out 6000", "call 41 FINISHED",
            "call 42 INPROGRESS", "wait audio 42 out 2000", "call 42 FINISHED",
            calls=[(41, "bob", "sine 200 8000", "silence"), (42, "alice", "sine 400 8000", "silence")]))
        # While bob's call goes on, the recording line says why it is not recorded.
        line = rd.wait_until(lambda: (lambda t: t if t and t[0] and "bob" in t[1] else None)(
            self.folder.recorder_text(rd.IDC_RECORD_STATUS)), 60, "the line of the skipped call")
        self.assertIn("未录制", line[1])
        self.assertEqual(run.wait(timeout=180), 0)
        self.folder.wait_records([".wav"])
        waves = [n for n in self.folder.record_files() if n.endswith(".wav")]
        self.assertEqual(len(waves), 1, self.folder.record_files())
        self.assertEqual(NAME.match(waves[0]).group("partners"), "alice")

    def test_keep_days_moves_only_the_programs_old_recordings_to_the_recycle_bin(self):
        records = self.folder.records
        old = time.time() - 40 * 86400
        old_names = ["2026年01月02日 09时00分00秒(erin).wav", "2026年01月02日 09时00分00秒(erin).mp3",
                     "2026年01月03日 09时00分00秒 (recovered)(frank).wav"]
        for name in old_names:
            write_wave(os.path.join(records, name), 0.5, mtime=old)
        kept = {"2026年02月20日 09时00分00秒(gina).wav": time.time() - 5 * 86400,  # young enough
                "notes.wav": old,  # the user's own file, as old
                "2026年01月02日 09时00分00秒(erin).txt": old}  # not a recording's extension
        for name, mtime in kept.items():
            write_wave(os.path.join(records, name), 0.5, mtime=mtime)
        self.start({"RecordFormat": 16, "KeepDays": 30})
        rd.wait_until(lambda: not any(n in self.folder.record_files() for n in old_names), 90,
                      "the old recordings gone")
        self.assertEqual(sorted(self.folder.record_files()), sorted(kept))
        self.assertEqual(sorted(trashed(self.folder.root)), sorted(old_names))
        balloon = rd.wait_until(lambda: (lambda b: b if "回收站" in b else None)(self.folder.tray_balloon()), 30,
                                "the tray's word")
        self.assertIn("2", balloon)


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        BIN = sys.argv.pop(1)
    else:
        BIN = os.path.join(rd.TOP, "build", "windows", "bin")
    unittest.main(verbosity=2)
