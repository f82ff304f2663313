"""The README's demo: CalvoroRecord.exe records one call placed by the simulated
client, and the output files are listed with their format and length.

    python3 tools/driver/run_demo.py <build/windows/bin> <demo folder>

The demo folder holds the program as a user gets it ("Calvoro Record"), its
record folder ("Records") and the simulated client's files ("sim"); it is made
afresh on every run.
"""

import os
import shutil
import subprocess
import sys

import recorder_driver as rd

SCENARIO = """# One call of five seconds: the far end speaks a 440 Hz tone, the microphone
# a 660 Hz tone with a little noise on top of nothing else.
user alice
partner 2024 bob
attach 0
audio 2024 out sine 440 9000
audio 2024 in sine 660 6000
timeout 90000
hide-windows
wait attach
call 2024 ROUTING
call 2024 RINGING
sleep 500
call 2024 INPROGRESS
wait audio 2024 out 5000
call 2024 FINISHED
exit
"""


def describe(path):
    if path.endswith(".wav"):
        channels, rate, bits, data = rd.read_wave(path)
        seconds = len(data) / (rate * channels * bits // 8)
        return "WAV, %d Hz, %d bit, %s, %.2f s" % (rate, bits, "mono" if channels == 1 else "stereo", seconds)
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=format_name,duration:stream=codec_name",
                            "-of", "default=noprint_wrappers=1", path], capture_output=True, text=True).stdout
    info = dict(line.split("=", 1) for line in probe.splitlines() if "=" in line)
    return "%s (%s), %.2f s" % (info.get("codec_name", "?").upper(), info.get("format_name", "?"),
                                float(info.get("duration", "0") or 0))


def record_sound(bin_dir, demo):
    """The computer's own sound: a private sound server plays a 1000 Hz tone
    to the speakers (a call app's far end) and a 660 Hz tone into the
    microphone; the recorder takes both, pressed Record and Stop as a user
    would, and keeps them left and right."""
    sys.path.insert(0, os.path.join(rd.TOP, "tests", "e2e"))
    from pulse_sound import PulseSound
    with PulseSound(speakers_hz=1000, mic_hz=660) as pulse:
        wine = rd.Wine(bin_dir)
        wine.env.update(pulse.env())
        pulse.use_in_wine_prefix(wine.env)
        folder = rd.ProgramFolder(wine, {"CaptureSource": 1, "FarEndDevice": "Monitor of Speakers", "SaveLF": 1,
                                         "RecordFormat": 1 | 16}, root=demo)
        print("Starting CalvoroRecord.exe in", folder.program, "with the computer's sound as its source")
        folder.start_recorder()
        try:
            folder.wait_recorder_window()
            print("Pressing Record, and Stop five seconds later (far end 1000 Hz left, microphone 660 Hz right) ...")
            steps = "attach none\npress %d\nsleep 5000\npress %d\n" % (rd.IDC_RECORD, rd.IDC_STOP)
            if folder.run_scenario(steps, name="buttons") != 0:
                raise SystemExit("pressing the buttons failed (see %s)" % folder.log)
            print("Waiting for the recording to be finished and encoded ...")
            folder.wait_records([".wav", ".mp3"])
        finally:
            folder.exit_recorder()
            folder.kill()
    return folder


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    bin_dir, demo = args[0], os.path.abspath(args[1])
    shutil.rmtree(demo, ignore_errors=True)
    os.makedirs(demo)
    if "--sound" in sys.argv:
        folder = record_sound(bin_dir, demo)
        print()
        print("Recordings in", folder.records + ":")
        for name in folder.record_files():
            path = os.path.join(folder.records, name)
            print("  %s\n      %s, %d bytes" % (path, describe(path), os.path.getsize(path)))
        return
    folder = rd.ProgramFolder(rd.Wine(bin_dir), {"AutoRecord": 1, "RecordFormat": 1 | 16}, root=demo)
    print("Starting CalvoroRecord.exe in", folder.program)
    folder.start_recorder()
    try:
        folder.wait_recorder_window()
        print("Placing a call of five seconds from the simulated client (partner: bob) ...")
        code = folder.run_scenario(SCENARIO, name="demo")
        if code != 0:
            raise SystemExit("the simulated client's scenario failed with code %d (see %s)" % (code, folder.log))
        print("Waiting for the recording to be finished and encoded ...")
        folder.wait_records([".wav", ".mp3"])
    finally:
        folder.exit_recorder()
        folder.kill()
    print()
    print("Recordings in", folder.records + ":")
    for name in folder.record_files():
        path = os.path.join(folder.records, name)
        print("  %s\n      %s, %d bytes" % (path, describe(path), os.path.getsize(path)))
    print("The simulated client's commands and the audio it sent are in", folder.sim)


if __name__ == "__main__":
    main()
