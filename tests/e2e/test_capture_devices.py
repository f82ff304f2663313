"""The WASAPI capture devices under wine, against a private PulseAudio server
(pulse_sound.py): capture_device_tests.exe opens the sinks' monitors and the
default capture device, and checks the tones, rates and capture times.

Run by ctest in the Windows build tree (no display needed):
    python3 tests/e2e/test_capture_devices.py <build/windows/bin>
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pulse_sound  # noqa: E402

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BIN = None
# What must run, not skip, when the server is there.
DEVICE_TESTS = (
    "CaptureDeviceTest.ListsTheMonitorsOfBothSinks",
    "CaptureDeviceTest.ListsFromASingleThreadedApartment",
    "CaptureDeviceTest.NamedDeviceDeliversItsToneOnTheCaptureClock",
    "CaptureDeviceTest.DefaultCaptureIsTheDefaultSource",
    "CaptureDeviceTest.NameMatchesWholeBeforePartAndIgnoresCase",
    "CaptureDeviceTest.MissingNameFailsWithAReason",
    "CaptureDeviceTest.LoopbackCapturesOrFailsCleanly",
    "CaptureDeviceTest.ClosingLeavesTheThreadOutOfCom",
    "CaptureDeviceTest.RepeatedOpeningKeepsNothingBehind",
)
TONE_TESTS = ("CaptureDeviceTest.NamedDeviceDeliversItsToneOnTheCaptureClock",
              "CaptureDeviceTest.DefaultCaptureIsTheDefaultSource")


def wine_env():
    env = dict(os.environ)
    env["WINEPREFIX"] = env.get("WINEPREFIX") or os.path.join(os.path.dirname(os.path.abspath(BIN)), "wineprefix")
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def windows_path(path):
    """The path as a program under wine sees it (wine maps / to Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def gtest_results(xml_path):
    """{suite.name: (result, [failure messages])} from googletest's XML report."""
    results = {}
    for case in ElementTree.parse(xml_path).getroot().iter("testcase"):
        name = case.get("classname") + "." + case.get("name")
        failures = [f.get("message", "") for f in case.findall("failure")]
        results[name] = (case.get("result", "completed"), failures)
    return results


class CaptureDevicesUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = os.path.join(BIN, "capture_device_tests.exe")
        if not os.path.exists(cls.exe):
            raise AssertionError(cls.exe + " is missing: build the Windows tree first")
        cls.env = wine_env()
        prepared = subprocess.run([os.path.join(TOP, "scripts", "wine-prefix.sh")], env=cls.env, timeout=600)
        if prepared.returncode != 0:
            raise AssertionError("scripts/wine-prefix.sh failed")
        cls.pulse = pulse_sound.PulseSound().start()
        try:
            cls.pulse.use_in_wine_prefix(cls.env)
        except Exception:
            cls.pulse.stop()
            raise
        cls.work = tempfile.mkdtemp(prefix="calvoro-capture-")

    @classmethod
    def tearDownClass(cls):
        cls.pulse.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def run_device_tests(self, speakers_hz, mic_hz, gtest_filter="*", name="report"):
        env = dict(self.env, **self.pulse.env())
        env.update({"CALVORO_PULSE_TEST": "1", "CALVORO_PULSE_SPEAKERS_HZ": str(speakers_hz),
                    "CALVORO_PULSE_MIC_HZ": str(mic_hz)})
        report = os.path.join(self.work, name + ".xml")
        log = os.path.join(self.work, name + ".log")
        with open(log, "wb") as out:
            command = ["wine", self.exe, "--gtest_filter=" + gtest_filter,
                       "--gtest_output=xml:" + windows_path(report)]
            code = subprocess.run(command, env=env, stdout=out, stderr=subprocess.STDOUT, timeout=300).returncode
        with open(log, "rb") as f:
            output = f.read().decode(errors="replace")
        self.assertTrue(os.path.exists(report), "no report from the test program:\n" + output[-4000:])
        return code, gtest_results(report), output

    def test_devices_deliver_the_servers_tones(self):
        code, results, output = self.run_device_tests(self.pulse.speakers_hz, self.pulse.mic_hz)
        print(output, file=sys.stderr)
        self.assertEqual(code, 0, "capture_device_tests.exe failed:\n" + output[-6000:])
        for test in DEVICE_TESTS:
            self.assertIn(test, results)
            result, failures = results[test]
            self.assertEqual(result, "completed", test + " did not run")
            self.assertEqual(failures, [], test)

    def test_a_tone_of_another_frequency_fails_the_device_tests(self):
        # The two devices swapped: each tone test must find the other device's
        # frequency and fail, so they check what the device delivers.
        code, results, output = self.run_device_tests(self.pulse.mic_hz, self.pulse.speakers_hz,
                                                      ":".join(TONE_TESTS), "swapped")
        self.assertNotEqual(code, 0, output[-4000:])
        for test in TONE_TESTS:
            result, failures = results[test]
            self.assertEqual(result, "completed", test + " did not run")
            self.assertTrue(any("MeasuredHz" in f for f in failures), "%s: %s" % (test, failures))


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        BIN = sys.argv.pop(1)
    else:
        BIN = os.path.join(TOP, "build", "windows", "bin")
    unittest.main(verbosity=2)
