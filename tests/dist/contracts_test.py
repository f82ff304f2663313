"""The names and numbers that the installer and the test drivers share with the
program are the program's own: common/contracts.h holds them, and the NSIS
script and the Python driver, which cannot include it, must say the same."""

import re
import sys
import unittest

ROOT = sys.argv.pop(1) if len(sys.argv) > 1 else "."


def read(path):
    with open(ROOT + "/" + path, encoding="utf-8") as f:
        return f.read()


def contract(name):
    """The value of a constant of common/contracts.h: a wide string (with C
    escapes undone) or a number."""
    text = read("common/contracts.h")
    match = re.search(r"\b%s(?:\[\])?\s*=\s*(L\"((?:[^\"\\]|\\.)*)\"|([^;]+));" % re.escape(name), text)
    if not match:
        raise AssertionError(name + " is not in common/contracts.h")
    if match.group(2) is not None:
        return match.group(2).encode().decode("unicode_escape")
    number = match.group(3).split("//")[0].strip()
    return eval(number, {}, {})  # e.g. 0x0406 or 0x0400 + 501


def nsis(name):
    match = re.search(r'^!define %s (?:"([^"]*)"|(\S+))' % re.escape(name), read("packaging/installer.nsi"), re.M)
    if not match:
        raise AssertionError(name + " is not defined in packaging/installer.nsi")
    return match.group(1) if match.group(1) is not None else match.group(2)


class InstallerAndDriversSayWhatTheProgramSays(unittest.TestCase):
    def test_the_installer_finds_and_stops_the_program_by_its_own_names(self):
        self.assertEqual(nsis("WINDOW_CLASS"), contract("kMainWindowClassName"))
        self.assertEqual(nsis("INSTANCE_MUTEX"), contract("kSingleInstanceMutexName"))
        self.assertEqual(int(nsis("WM_EXIT_REQUEST"), 0), contract("WM_EXIT_REQUEST"))
        self.assertEqual(nsis("RUN_VALUE"), contract("kAutorunValueName"))

    def test_the_installers_marker_is_the_one_the_program_looks_for(self):
        self.assertIn('"/oname=%s"' % contract("kInstalledMarkerName"), read("packaging/installer.nsi"))

    def test_the_drivers_exit_request_is_the_programs(self):
        match = re.search(r"^WM_EXIT_REQUEST = (\S+)", read("tools/driver/recorder_driver.py"), re.M)
        self.assertIsNotNone(match)
        self.assertEqual(int(match.group(1), 0), contract("WM_EXIT_REQUEST"))

    def test_the_tray_callback_is_wm_user_501(self):
        self.assertEqual(contract("WM_TRAY_NOTIFY"), 0x0400 + 501)


if __name__ == "__main__":
    unittest.main()
