"""The mixers on two one-hour stream files, side by side with tools anyone has.

    python3 bench/mixer_compare.py [build dir, default build/native] [work folder]

Two stream files of one hour each (16-bit mono at 16 kHz, 115,200,044 bytes of
full-scale noise) are mixed by the recorder's mono and stereo mixers (mix_once,
which runs MixStreamFiles), and the same inputs are handled by:
  - cat of both inputs into one file followed by one flush of that file
    (coreutils sync FILE: fsync), the cost of reading both and writing their
    bytes out durably;
  - sox -m -v 1 a -v 1 b out.wav (the same mono sum at unit gain) and
    sox -M a b out.wav (the same stereo interleave); sox does not flush.
Each command runs five times in turn, after one run of each to warm the page
cache; the figures are the best and the median wall time of the process, start
to exit (the best is the steadiest on a machine shared with other work; the
ratios use it). Peak memory is mix_once's peak resident set (getrusage) for one
hour and for three hours of audio.
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
HOUR = 16000 * 2 * 3600  # bytes of one hour of one direction


def header(data_bytes):
    import struct
    return (b"RIFF" + struct.pack("<I", data_bytes + 36) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, 16000, 32000, 2, 16) + b"data" + struct.pack("<I", data_bytes))


def make_stream(path, hours):
    if os.path.exists(path) and os.path.getsize(path) == 44 + hours * HOUR:
        return
    # Written in pieces: a child's peak memory as getrusage reports it starts
    # from this process's peak.
    with open(path, "wb") as f:
        f.write(header(hours * HOUR))
        for _ in range(hours * HOUR // (1 << 20)):
            f.write(os.urandom(1 << 20))
        f.write(os.urandom(hours * HOUR % (1 << 20)))


def timed(command):
    start = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    elapsed = time.monotonic() - start
    if result.returncode != 0:
        raise SystemExit("%s failed:\n%s" % (command, result.stdout))
    return elapsed, result.stdout


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build", "native"))
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="calvoro-mix-", dir="/var/tmp")
    os.makedirs(work, exist_ok=True)
    mix_once = os.path.join(build, "bin", "mix_once")
    base = os.path.join(work, "hour")
    a, b = base + "_Out.sky", base + "_In.sky"
    make_stream(a, 1)
    make_stream(b, 1)
    out = os.path.join(work, "out.wav")
    commands = {
        "mono mixer": [mix_once, base, out],
        "stereo mixer": [mix_once, base, out, "stereo"],
        "cat a b + flush": ["sh", "-c", 'cat "$1" "$2" > "$3" && sync "$3"', "sh", a, b, out],
        "sox -m -v 1": ["sox", "-m", "-t", "wav", "-v", "1", a, "-t", "wav", "-v", "1", b, out],
        "sox -M": ["sox", "-M", a, b, out],
    }
    times = {name: [] for name in commands}
    for round_number in range(6):
        for name, command in commands.items():
            elapsed, _ = timed(command)
            os.remove(out)
            if round_number > 0:  # the first round warms the page cache
                times[name].append(elapsed)
    median = {name: statistics.median(t) for name, t in times.items()}
    best = {name: min(t) for name, t in times.items()}

    memory = {}
    base3 = os.path.join(work, "three")
    make_stream(base3 + "_Out.sky", 3)
    make_stream(base3 + "_In.sky", 3)
    for hours, stem in ((1, base), (3, base3)):
        for mode in ("mono", "stereo"):
            _, text = timed([mix_once, stem, out] + (["stereo"] if mode == "stereo" else []))
            os.remove(out)
            memory[(hours, mode)] = text.split("peak resident memory")[1].split()[0]

    print("Two one-hour stream files (2 x 115.2 MB), 5 runs each, wall time of the process")
    print("| | best | median | best against cat + flush |")
    print("|---|---|---|---|")
    for name in commands:
        print("| %s | %.3f s | %.3f s | %.2f x |" % (name, best[name], median[name], best[name] / best["cat a b + flush"]))
    print()
    print("mono mixer: %.1f x faster than sox -m -v 1 (medians: %.1f x)" %
          (best["sox -m -v 1"] / best["mono mixer"], median["sox -m -v 1"] / median["mono mixer"]))
    print("stereo mixer: %.1f x faster than sox -M (medians: %.1f x)" %
          (best["sox -M"] / best["stereo mixer"], median["sox -M"] / median["stereo mixer"]))
    print()
    print("| peak resident memory | 1 hour | 3 hours |")
    print("|---|---|---|")
    for mode in ("mono", "stereo"):
        print("| %s mix | %s MiB | %s MiB |" % (mode, memory[(1, mode)], memory[(3, mode)]))
    print("(stream files kept in %s)" % work)


if __name__ == "__main__":
    main()
