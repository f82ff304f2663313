"""End-to-end: the encoded copies. MP3, OGG, FLAC and Opus made by the program
itself with no encoder beside it, decoded by Debian's decoders to the WAV
file's length (FLAC to its exact samples); an external lame.exe used in the
built-in encoder's place; the WAV file kept or deleted."""

import os
import subprocess
import sys

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import TAIL, RecorderTest, main, rd, scenario  # noqa: E402


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


if __name__ == "__main__":
    main()
