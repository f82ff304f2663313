#!/bin/sh
# The mixers on two one-hour stream files, side by side with `sox -m` on the
# same files and with a plain copy of the same bytes, and the peak memory of a
# mix for one hour and for three hours of audio.
#   bench/run-mixer-bench.sh [build dir] [work dir]
# Defaults: build/native and a fresh folder under /var/tmp (about 1.5 GB).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/native}
work=${2:-$(mktemp -d /var/tmp/calvoro-mixbench.XXXXXX)}
mkdir -p "$work"
cmake --build "$build" --target mixer_bench mix_once > /dev/null

echo "== Google Benchmark (3 iterations each; 2 x 115.2 MB in)"
CALVORO_BENCH_DIR=$work "$build/bin/mixer_bench" --benchmark_counters_tabular=true

echo "== sox -m on the same files (summed at unit gain, as the mono mixer does)"
for i in 1 2 3; do
  /usr/bin/time -f "sox -m: %e s elapsed, peak %M KiB" \
    sox -m -t wav -v 1 "$work/bench-hour_Out.sky" -t wav -v 1 "$work/bench-hour_In.sky" "$work/sox.wav"
done
rm -f "$work/sox.wav"

echo "== cp of one input (115.2 MB) for scale"
/usr/bin/time -f "cp: %e s elapsed" cp "$work/bench-hour_Out.sky" "$work/cp.wav"
rm -f "$work/cp.wav"

echo "== peak memory of one mix"
"$build/bin/mix_once" "$work/bench-hour" "$work/once.wav"
"$build/bin/mix_once" "$work/bench-hour" "$work/once.wav" stereo
# Three hours: the same hour three times over.
for d in Out In; do
  cat "$work/bench-hour_$d.sky" > "$work/bench-3h_$d.sky"
  tail -c +45 "$work/bench-hour_$d.sky" >> "$work/bench-3h_$d.sky"
  tail -c +45 "$work/bench-hour_$d.sky" >> "$work/bench-3h_$d.sky"
done
"$build/bin/mix_once" "$work/bench-3h" "$work/once.wav"
"$build/bin/mix_once" "$work/bench-3h" "$work/once.wav" stereo
rm -f "$work/once.wav" "$work"/bench-3h_*
echo "(stream files kept in $work)"
