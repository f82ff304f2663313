"""End-to-end: what a new user meets. The usual audio ports held by another
program (other ports are used and the call recorded), the record folder
deleted while the program runs, the saved recording's balloon read from the
tray, an attached client that the registry does not name."""

import errno
import os
import re
import shutil
import socket
import sys
import time

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import RecorderTest, main, rd, scenario  # noqa: E402


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


if __name__ == "__main__":
    main()
