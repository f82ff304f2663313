"""End-to-end: nothing recorded is lost. A recording killed mid-call (kill -9,
TerminateProcess) is recovered at the next start; a full disk keeps what was
written and the next call records once space is free; an audio connection
reset mid-call goes on on the new connection; a client killed mid-call ends
its recording and a new client is recorded."""

import os
import re
import shutil
import subprocess
import sys

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (  # noqa: E402
    NAME, SECOND, TAIL, RecorderTest, main, matched, rd, scenario, split_after_pause)


# A recording finished at the next start after a crash.
RECOVERED = re.compile(r"^\d{4}年\d{2}月\d{2}日 \d{2}时\d{2}分\d{2}秒 \(recovered\)\((?P<partners>[^)]*)\)\.wav$")
# The most audio a crash may lose: the writers' pace (2 s) and what was in flight.
CRASH_LOSS = 4 * SECOND


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


if __name__ == "__main__":
    main()
