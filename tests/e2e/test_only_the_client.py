"""End-to-end: only the client speaks into a recording. Strangers connecting to
both audio ports mid-call, one talking and one idle, leave the recording
exactly what the client sent."""

import os
import socket
import sys

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import SECOND, RecorderTest, main, rd, scenario, to_bytes  # noqa: E402


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


if __name__ == "__main__":
    main()
