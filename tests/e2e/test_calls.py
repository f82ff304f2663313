"""End-to-end: what a call's recording holds, sample for sample against what
the simulated client sent: the mono mix with clipping, stereo, one direction,
overlapping calls, a call right after another, Record pressed mid-call, pause
and resume."""

import os
import sys

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (  # noqa: E402
    NAME, SECOND, TAIL, RecorderTest, locate, main, rd, scenario, split_after_pause, to_bytes)


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


if __name__ == "__main__":
    main()
