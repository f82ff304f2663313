"""End-to-end: the recordings window, the contact rule and the keeping of
recordings, through the real program: the window lists the folder, follows a
new call and deletes to the Recycle Bin; RecordContacts skips a listed
partner's call and says so; KeepDays moves only the program's old recordings
to the Recycle Bin."""

import os
import sys
import time

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import NAME, RecorderTest, main, rd, scenario  # noqa: E402


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
    main()
