"""Hang-up to every requested file ready, for one hour of a two-direction call,
three ways side by side in one run:

    python3 bench/encoder_compare.py [build dir, default build/native] [work folder] [rounds, default 3]

  - built-in: encode_once mixes the two stream files and feeds the program's
    own encoders (MP3, OGG, FLAC) as it mixes, each on a thread of its own;
    every file is decoded to its end and checked before the time stops;
  - in turn: mix_once mixes into a WAV file, then the external programs run
    one after another on it, as the recorder runs lame.exe, oggenc2.exe and
    flac.exe: lame -h, oggenc -q 10, flac -8;
  - ffmpeg: the same mix, then one ffmpeg that encodes the WAV file to the
    three formats with the same settings (libmp3lame at quality 2 and the
    bitrate LAME chooses for 16 kHz mono, 24 kbit/s; libvorbis -q 10; flac
    level 8).

The stream files are one hour each of full-scale noise (16-bit mono at
16 kHz), the hardest input for every encoder. Each way runs `rounds` times in
turn after one run of each to warm the page cache; the figures are the best
and the median wall time. Peak memory is encode_once's for one hour and for
three hours, with MP3 + OGG + FLAC + Opus. Sizes per minute come from the
one-hour outputs (noise: the most an encoder writes) and from a speech-like
call of one minute (speech from espeak-ng on both sides, when it is there).
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mixer_compare import TOP, make_stream, timed  # noqa: E402

MP3, OGG, FLAC, OPUS = 1, 4, 8, 32


def clean(stem):
    for ext in (".wav", ".mp3", ".ogg", ".flac", ".opus"):
        if os.path.exists(stem + ext):
            os.remove(stem + ext)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build", "native"))
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="calvoro-encode-", dir="/var/tmp")
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    os.makedirs(work, exist_ok=True)
    encode_once = os.path.join(build, "bin", "encode_once")
    mix_once = os.path.join(build, "bin", "mix_once")
    base = os.path.join(work, "hour")
    make_stream(base + "_Out.sky", 1)
    make_stream(base + "_In.sky", 1)
    stem = os.path.join(work, "out")
    wav = stem + ".wav"
    ways = {
        "built-in, side by side": [encode_once, base, wav, str(MP3 | OGG | FLAC)],
        "external programs in turn": ["sh", "-c", '"$1" "$2" "$3.wav" > /dev/null && lame --quiet -h "$3.wav" "$3.mp3"'
                                      ' && oggenc -Q -q 10 "$3.wav" && flac -s -8 "$3.wav"',
                                      "sh", mix_once, base, stem],
        "ffmpeg, one process": ["sh", "-c", '"$1" "$2" "$3.wav" > /dev/null && ffmpeg -nostdin -v error -y -i "$3.wav"'
                                ' -c:a libmp3lame -compression_level 2 -b:a 24k "$3.mp3"'
                                ' -c:a libvorbis -q:a 10 "$3.ogg" -c:a flac -compression_level 8 "$3.flac"',
                                "sh", mix_once, base, stem],
        "built-in MP3 alone": [encode_once, base, wav, str(MP3)],
        "lame -h alone": ["sh", "-c", '"$1" "$2" "$3.wav" > /dev/null && lame --quiet -h "$3.wav" "$3.mp3"',
                          "sh", mix_once, base, stem],
    }
    times = {name: [] for name in ways}
    for round_number in range(rounds + 1):
        for name, command in ways.items():
            clean(stem)
            elapsed, _ = timed(command)
            if round_number > 0:
                times[name].append(elapsed)

    # The built-in outputs of one hour, for their sizes.
    clean(stem)
    timed([encode_once, base, wav, str(MP3 | OGG | FLAC | OPUS)])
    noise_sizes = {ext: os.path.getsize(stem + ext) / 60 for ext in (".mp3", ".ogg", ".flac", ".opus")}
    noise_sizes[".wav"] = os.path.getsize(wav) / 60

    memory = {}
    base3 = os.path.join(work, "three")
    make_stream(base3 + "_Out.sky", 3)
    make_stream(base3 + "_In.sky", 3)
    for hours, stream in ((1, base), (3, base3)):
        clean(stem)
        _, text = timed([encode_once, stream, wav, str(MP3 | OGG | FLAC | OPUS)])
        memory[hours] = text.split("peak resident memory")[1].split()[0]
    clean(stem)

    speech_sizes = None
    if shutil.which("espeak-ng"):
        speech = os.path.join(work, "speech")
        for side, voice, text in (("Out", "en", "far"), ("In", "en+f3", "near")):
            raw = os.path.join(work, side + ".wav")
            words = ("This is the %s end of a call about the weather, the train times and the plans for "
                     "the weekend. " % text) * 12
            subprocess.run(["espeak-ng", "-v", voice, "-s", "150", "-w", raw, words], check=True)
            subprocess.run(["sox", raw, "-r", "16000", "-c", "1", "-b", "16", "-e", "signed",
                            speech + "_" + side + ".sky.wav", "trim", "0", "60", "pad", "0", "60", "trim", "0", "60"],
                           check=True)
            os.replace(speech + "_" + side + ".sky.wav", speech + "_" + side + ".sky")
        timed([encode_once, speech, wav, str(MP3 | OGG | FLAC | OPUS)])
        speech_sizes = {ext: os.path.getsize(stem + ext) for ext in (".mp3", ".ogg", ".flac", ".opus", ".wav")}
        clean(stem)

    best = {name: min(t) for name, t in times.items()}
    median = {name: statistics.median(t) for name, t in times.items()}
    print("One hour of a two-direction call (2 x 115.2 MB of full-scale noise) to MP3 + OGG + FLAC,")
    print("hang-up to every file ready; %d runs each, wall time" % rounds)
    print("(the last two rows: MP3 alone, the built-in encoder against the external lame)")
    print("| | best | median | in turn / this (best) |")
    print("|---|---|---|---|")
    for name in ways:
        print("| %s | %.1f s | %.1f s | %.2f x |" % (name, best[name], median[name],
                                                     best["external programs in turn"] / best[name]))
    print()
    print("| peak resident memory, built-in MP3 + OGG + FLAC + Opus | 1 hour | 3 hours |")
    print("|---|---|---|")
    print("| encode_once | %s MiB | %s MiB |" % (memory[1], memory[3]))
    print()
    print("| bytes per minute | WAV | MP3 | OGG | FLAC | Opus |")
    print("|---|---|---|---|---|---|")
    order = (".wav", ".mp3", ".ogg", ".flac", ".opus")
    print("| full-scale noise | " + " | ".join("%.0f" % noise_sizes[e] for e in order) + " |")
    if speech_sizes:
        print("| speech (espeak-ng) | " + " | ".join("%d" % speech_sizes[e] for e in order) + " |")
    print("(stream files kept in %s)" % work)


if __name__ == "__main__":
    main()
