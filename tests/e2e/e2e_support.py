"""What the end-to-end suites share: the simulated client places calls against
the real CalvoroRecord.exe under wine (tools/driver/recorder_driver.py), and
each recording is checked sample for sample against what the client sent.

Each test_*.py here is one suite, run by ctest in the Windows build tree (it
needs a display: xvfb-run):
    python3 tests/e2e/test_calls.py <build/windows/bin>
"""

import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "driver"))
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


def matched(recorded, expected):
    """How many samples at the start of `recorded` equal `expected`."""
    n = 0
    while n < len(recorded) and n < len(expected) and recorded[n] == expected[n]:
        n += 1
    return n


def main():
    """Runs the suite of the calling module: the folder of the Windows
    programs is the first argument (default: build/windows/bin)."""
    global BIN
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        BIN = sys.argv.pop(1)
    else:
        BIN = os.path.join(rd.TOP, "build", "windows", "bin")
    unittest.main(module="__main__", verbosity=2)
