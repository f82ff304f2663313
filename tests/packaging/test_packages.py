"""What a Windows user downloads, proven under wine: the installer, installed,
upgraded and removed around a running recorder, and the portable zip, each
recording a call from the simulated client sample for sample.

Run by ctest in the Windows build tree (it needs a display: xvfb-run):
    python3 tests/packaging/test_packages.py <build/windows/bin> <build/windows/package>
"""

import getpass
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

# The e2e suites' support is imported for its checks: no bytecode beside its source.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "driver"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import recorder_driver as rd  # noqa: E402
import e2e_support as e2e  # noqa: E402

BIN = PACKAGES = None
VERSION = open(os.path.join(rd.TOP, "VERSION")).read().strip()
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\CalvoroRecord"
SECOND = e2e.SECOND


def shipped_files(folder):
    """Every file under `folder`, relative, with forward slashes."""
    found = []
    for top, _, files in os.walk(folder):
        found += [os.path.relpath(os.path.join(top, f), folder).replace(os.sep, "/") for f in files]
    return sorted(found)


def expected_files():
    """The program, LAME's DLL, its data folders from dist/ (Language, Image, ...),
    the encoder note and the libraries' notices."""
    files = ["CalvoroRecord.exe", "Encoders.txt", "Notices.txt", "libmp3lame-0.dll"]
    dist = os.path.join(rd.TOP, "dist")
    for entry in os.listdir(dist):
        if os.path.isdir(os.path.join(dist, entry)):
            files += [entry + "/" + f for f in shipped_files(os.path.join(dist, entry))]
    return sorted(files)


def check_codec_files(test, folder):
    """LAME's DLL is the one the build put beside its programs, and the notices
    name every library with its licence's text: the LGPL once, for LAME, and
    the Xiph.Org-style BSD licence once for each of the other five."""
    with open(os.path.join(folder, "libmp3lame-0.dll"), "rb") as f, \
            open(os.path.join(BIN, "libmp3lame-0.dll"), "rb") as built:
        test.assertEqual(f.read(), built.read())
    with open(os.path.join(folder, "Notices.txt"), encoding="utf-8") as f:
        notices = f.read()
    for name in ("LAME 3.100", "libogg 1.3.5", "libvorbis 1.3.7", "libFLAC 1.4.2", "libopus 1.3.1", "libopusenc 0.2.1"):
        test.assertIn("\n" + name, notices)
    test.assertIn("GNU LIBRARY GENERAL PUBLIC LICENSE", notices)
    test.assertEqual(notices.count("END OF TERMS AND CONDITIONS"), 1)
    test.assertEqual(notices.count("Redistribution and use in source and binary forms"), 5)


def fixed_version(exe):
    """(file version, product version) of the VS_FIXEDFILEINFO of an executable."""
    with open(exe, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise AssertionError(exe + " has no version resource")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)
    quad = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)  # noqa: E731
    return quad(file_ms, file_ls), quad(product_ms, product_ls), data


def announced(text):
    """A scenario for a client that starts while the recorder runs: it first
    announces its API (attach status 0x8001, API available), so that the
    recorder lets go of the client before and attaches anew."""
    return text.replace("wait attach\n", "send-attach %d\nwait attach\n" % 0x8001, 1)


def in_call(call, partner, seeds, after_ms=1000, hold_ms=10000):
    """A call that is in progress with audio flowing for `hold_ms` after
    `after_ms`: long enough for an installer to ask the recorder to exit in
    the middle of it. The test acts once two seconds have been sent, so the
    client is then past its wait for the first `after_ms` of audio, which the
    recorder's exit would otherwise cut short."""
    return announced(e2e.scenario(
        "call %d INPROGRESS" % call, "wait audio %d out %d" % (call, after_ms), "sleep %d" % hold_ms,
        "call %d FINISHED" % call, calls=[(call, partner, "mls %d 9000" % seeds[0], "mls %d 9000" % seeds[1])]))


class PackageTest(e2e.RecorderTest):
    """The e2e checks, against a program that comes from a package."""

    def setUp(self):
        self.wine = rd.Wine(BIN)
        self.root = tempfile.mkdtemp(prefix="calvoro-dist-")
        self.drive_c = os.path.join(self.wine.env["WINEPREFIX"], "drive_c")
        self.user_dir = os.path.join(self.drive_c, "users", getpass.getuser())
        self.folder = None

    def tearDown(self):
        if self.folder is not None:
            super().tearDown()
        if not self._failed():
            shutil.rmtree(self.root, ignore_errors=True)

    def package(self, suffix):
        names = [n for n in os.listdir(PACKAGES) if n.endswith(suffix)]
        self.assertEqual(names, ["CalvoroRecord-%s%s" % (VERSION, suffix)])
        return os.path.join(PACKAGES, names[0])

    def wine_run(self, exe, args=(), timeout=600):
        return self.wine.run(exe, args, timeout, os.path.join(self.root, "wine.log"))

    def reg_value(self, key, name):
        out = subprocess.run([rd.WINE_EXEC, "reg", "query", key, "/v", name], env=self.wine.env,
                             capture_output=True, text=True, timeout=120)
        for line in out.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == name and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def new_recording(self, before, partner):
        """The samples of the one finished recording that is not in `before`,
        named after `partner` (also when it was finished in the middle of a
        call that followed another)."""
        names = self.folder.record_files()
        self.assertEqual([n for n in names if n.endswith(".sky")], [], names)
        new = [n for n in names if n not in before]
        self.assertEqual(len(new), 1, names)
        match = e2e.NAME.match(new[0])
        self.assertIsNotNone(match, new[0])
        self.assertEqual(match.group("partners"), partner, new[0])
        return rd.read_wave(os.path.join(self.folder.records, new[0]))[3]

    def record_one_call(self, call):
        before = set(self.folder.record_files())
        self.call(announced(e2e.scenario(
            "call %d INPROGRESS" % call, "wait audio %d out 3000" % call, "call %d FINISHED" % call,
            calls=[(call, "caller%d" % call, "mls %d 9000" % (call * 2), "noise %d 5000" % call)])))
        self.folder.wait_records([".wav"])
        self.assert_mono_mix(self.new_recording(before, "caller%d" % call), call, 16000 * 3 - e2e.TAIL // 2)

    def interrupt_call(self, call, seeds, action):
        """Runs `action` while a recorded call is in progress; the recorder must
        have ended, with the call's recording complete, when `action` returns."""
        before = set(self.folder.record_files())
        client = self.folder.start_scenario(in_call(call, "caller%d" % call, seeds))
        sent = os.path.join(self.folder.sim, "call%d_out.raw" % call)
        rd.wait_until(lambda: os.path.exists(sent) and os.path.getsize(sent) >= 2 * SECOND, 120,
                      "two seconds of the call")
        self.assertTrue(any(n.endswith(".sky") for n in self.folder.record_files()), "no recording running")
        action()
        # The recording's files are final at this moment: nothing was cut.
        data = self.new_recording(before, "caller%d" % call)
        self.assertEqual(client.wait(timeout=120), 0, "the simulated client's scenario failed")
        self.assert_mono_mix(data, call, 2 * 16000 - e2e.TAIL // 2)
        self.folder.recorder.wait(timeout=60)
        self.folder.recorder = None


class Installer(PackageTest):
    def setUp(self):
        super().setUp()
        self.install_dir = os.path.join(self.drive_c, "Program Files", "Calvoro Record")
        self.shortcut = os.path.join(self.drive_c, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                     "Calvoro Record.lnk")
        self.app_data_config = os.path.join(self.user_dir, "AppData", "Roaming", "Calvoro Record", "Config.ini")
        self.virtual_store_config = os.path.join(self.user_dir, "AppData", "Local", "VirtualStore", "Program Files",
                                                 "Calvoro Record", "Config.ini")
        self.forget_earlier_install()

    def forget_earlier_install(self):
        """A run that was cut short may have left an installation behind."""
        for path in (self.install_dir, os.path.dirname(self.app_data_config),
                     os.path.dirname(self.virtual_store_config)):
            shutil.rmtree(path, ignore_errors=True)
        if os.path.exists(self.shortcut):
            os.remove(self.shortcut)
        for args in (["delete", UNINSTALL_KEY, "/f"], ["delete", RUN_KEY, "/v", "CalvoroRecord", "/f"]):
            subprocess.run([rd.WINE_EXEC, "reg"] + args, env=self.wine.env, capture_output=True, timeout=120)

    def tearDown(self):
        super().tearDown()
        if not self._failed():
            self.forget_earlier_install()

    def install(self, *options):
        self.assertEqual(self.wine_run(self.package("-setup.exe"), ["/S"] + list(options)), 0,
                         "the silent install failed")

    def start_installed(self):
        self.folder.start_recorder()
        self.folder.wait_recorder_window()

    def test_install_record_upgrade_and_uninstall_around_a_running_recorder(self):
        # Settings that an earlier copy without a manifest left in the
        # VirtualStore: the installed program takes them over.
        self.folder = rd.ProgramFolder(self.wine, {"AutoRecord": 1, "RecordFormat": 16}, root=self.root,
                                       program=self.install_dir, config=self.virtual_store_config)
        self.install()

        installed = sorted(expected_files() + ["Installed.ini", "Uninstall.exe"])
        self.assertEqual(shipped_files(self.install_dir), installed)
        check_codec_files(self, self.install_dir)
        file_version, product_version, exe = fixed_version(os.path.join(self.install_dir, "CalvoroRecord.exe"))
        fields = VERSION.split(".")
        if int(fields[3]) > 0xFFFF:
            fields[3] = "0"
        self.assertEqual((file_version, product_version), (".".join(fields),) * 2)
        self.assertIn(VERSION.encode("utf-16-le"), exe)
        program = r"C:\Program Files\Calvoro Record"
        self.assertEqual(self.reg_value(RUN_KEY, "CalvoroRecord"), '"%s\\CalvoroRecord.exe" hide' % program)
        self.assertEqual(self.reg_value(UNINSTALL_KEY, "DisplayName"), "Calvoro Record")
        self.assertEqual(self.reg_value(UNINSTALL_KEY, "DisplayVersion"), VERSION)
        self.assertEqual(self.reg_value(UNINSTALL_KEY, "Publisher"), "Calvoro")
        self.assertEqual(self.reg_value(UNINSTALL_KEY, "DisplayIcon"), program + r"\CalvoroRecord.exe,0")
        self.assertEqual(self.reg_value(UNINSTALL_KEY, "UninstallString"), '"%s\\Uninstall.exe"' % program)
        self.assertGreater(int(self.reg_value(UNINSTALL_KEY, "EstimatedSize"), 0), 0)
        self.assertTrue(os.path.exists(self.shortcut))

        # The installed program records, with the settings carried over to the
        # user's application data folder and nothing written beside it.
        self.start_installed()
        self.record_one_call(21)
        with open(self.app_data_config, encoding="latin-1") as f:
            carried = f.read()
        self.assertIn("AutoRecord=1", carried)
        self.assertIn("WavePath=" + rd.winpath(self.folder.records), carried)
        self.assertFalse(os.path.exists(os.path.join(self.install_dir, "Config.ini")))

        # A second install while a call is recorded: the recorder finishes the
        # recording and exits before the files are replaced. Without "start
        # with Windows" this time, so the value goes.
        self.interrupt_call(22, (61, 62), lambda: self.install("/NOAUTORUN"))
        self.assertEqual(shipped_files(self.install_dir), installed)
        self.assertIsNone(self.reg_value(RUN_KEY, "CalvoroRecord"))
        # The settings window turns it on again; the uninstaller must remove it.
        autorun = '"%s\\CalvoroRecord.exe" hide' % program
        subprocess.run([rd.WINE_EXEC, "reg", "add", RUN_KEY, "/v", "CalvoroRecord", "/t", "REG_SZ", "/d", autorun,
                        "/f"], env=self.wine.env, check=True, capture_output=True, timeout=120)
        self.assertEqual(self.reg_value(RUN_KEY, "CalvoroRecord"), autorun)

        # The uninstaller, while a call is recorded, the same; it copies itself
        # away and returns at once, so its end is awaited by what it removes.
        self.start_installed()

        def uninstall():
            self.assertEqual(self.wine_run(os.path.join(self.install_dir, "Uninstall.exe"), ["/S"]), 0)
            rd.wait_until(lambda: not os.path.exists(self.install_dir) and
                          self.reg_value(UNINSTALL_KEY, "DisplayName") is None, 600, "the uninstaller's end")
        self.interrupt_call(23, (63, 64), uninstall)
        self.assertIsNone(self.reg_value(RUN_KEY, "CalvoroRecord"))
        self.assertFalse(os.path.exists(self.shortcut))
        # Every recording and the user's settings stay.
        self.assertEqual(len([n for n in self.folder.record_files() if n.endswith(".wav")]), 3)
        self.assertTrue(os.path.exists(self.app_data_config))


class PortableZip(PackageTest):
    def test_the_zip_unpacks_into_a_folder_that_records_a_call(self):
        with zipfile.ZipFile(self.package("-portable.zip")) as z:
            self.assertEqual(sorted(n for n in z.namelist() if not n.endswith("/")),
                             ["Calvoro Record/" + f for f in expected_files()])
            z.extractall(self.root)
        program = os.path.join(self.root, "Calvoro Record")
        check_codec_files(self, program)
        self.folder = rd.ProgramFolder(self.wine, {"AutoRecord": 1, "RecordFormat": 16}, root=self.root,
                                       program=program)
        self.folder.start_recorder()
        self.folder.wait_recorder_window()
        self.record_one_call(31)
        # Portable: the settings stay beside the program.
        with open(os.path.join(program, "Config.ini"), encoding="latin-1") as f:
            self.assertIn("WavePath=" + rd.winpath(self.folder.records), f.read())


if __name__ == "__main__":
    if len(sys.argv) > 2 and not sys.argv[1].startswith("-"):
        BIN, PACKAGES = sys.argv.pop(1), sys.argv.pop(1)
    else:
        BIN = os.path.join(rd.TOP, "build", "windows", "bin")
        PACKAGES = os.path.join(rd.TOP, "build", "windows", "package")
    # The prefix that the packages are installed into: made when missing, with
    # the font that the program's Chinese texts need.
    subprocess.run([os.path.join(rd.TOP, "scripts", "wine-prefix.sh")], env=rd.Wine(BIN).env, check=True)
    unittest.main(verbosity=2)
