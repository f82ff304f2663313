#!/bin/sh
# Builds everything from scratch and runs every test:
#   1. native (g++): engine, unit tests, benchmarks (built, not run);
#   2. native (clang) with the address and undefined-behaviour sanitizers, and
#      each fuzz target for a bounded time;
#   3. native (clang) with the thread sanitizer;
#   4. Windows (mingw-w64): CalvoroRecord.exe, the simulated client and the tests,
#      run by ctest under wine on a virtual display.
# Exits non-zero on any failure. Run as root on a fresh Debian 12 machine: it
# installs what is missing with apt-get.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
fuzz_seconds=${CALVORO_FUZZ_SECONDS:-20}
summary=""
failed=0

note() { summary="$summary
$1"; }

run_ctest() {  # <build dir> <label>
  if (cd "$1" && ctest --output-on-failure -j"$jobs" > ctest.log 2>&1); then
    note "$2: $(grep -E 'tests passed' "$1/ctest.log" | tail -n 1)"
  else
    cat "$1/ctest.log"
    note "$2: FAILED: $(grep -E 'tests passed|tests failed' "$1/ctest.log" | tail -n 1)"
    failed=1
  fi
  tail -n 3 "$1/ctest.log"
}

build() {  # <preset> [cmake options...]
  preset=$1
  shift
  rm -rf "build/$preset"
  echo "== configure and build: $preset"
  cmake --preset "$preset" "$@" > /dev/null
  cmake --build "build/$preset" -j"$jobs" > "build/$preset.build.log" 2>&1 || {
    tail -n 60 "build/$preset.build.log"
    echo "build $preset failed" >&2
    exit 1
  }
}

# 1. Native.
build native
run_ctest build/native "native (g++)"

# 2. Sanitizers and fuzzers.
build sanitize
run_ctest build/sanitize "native (clang, address+undefined sanitizers)"
for f in build/sanitize/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build/sanitize/corpus-$name"
  mkdir -p "$corpus"
  seeds="fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=""
  echo "== fuzz: $name for ${fuzz_seconds}s"
  if "$f" -max_total_time="$fuzz_seconds" -print_final_stats=1 -artifact_prefix="build/sanitize/$name-" \
      "$corpus" $seeds > "build/sanitize/$name.log" 2>&1; then
    note "fuzz $name: $(grep -E 'stat::number_of_executed_units' "build/sanitize/$name.log" | awk '{print $2}') runs, no finding"
  else
    tail -n 40 "build/sanitize/$name.log"
    note "fuzz $name: FAILED"
    failed=1
  fi
done

# 3. Thread sanitizer.
build tsan
run_ctest build/tsan "native (clang, thread sanitizer)"

# 4. Windows, under wine.
build windows
export WINEPREFIX="$top/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "== wine: preparing the prefix"
if ! ./scripts/wine-prefix.sh; then
  note "wine prefix: FAILED (build/windows/wineprefix/prepare.log)"
  failed=1
fi
echo "== wine: running the Windows tests"
if xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'cd build/windows && ctest --output-on-failure -j2 > ctest.log 2>&1'; then
  note "windows (wine): $(grep -E 'tests passed' build/windows/ctest.log | tail -n 1)"
else
  cat build/windows/ctest.log
  note "windows (wine): FAILED: $(grep -E 'tests passed|tests failed' build/windows/ctest.log | tail -n 1)"
  failed=1
fi
wineserver -k 2>/dev/null || true
# The runners' own counts, program by program.
log=build/windows/Testing/Temporary/LastTest.log
if [ -f "$log" ]; then
  total=0
  for n in $(grep -E '^\[  PASSED  \] [0-9]+ tests?\.' "$log" | awk '{print $4}'); do total=$((total + n)); done
  note "windows (wine): $total GoogleTest cases passed in $(grep -c -E '^\[  PASSED  \]' "$log") programs"
  grep -E '^\[  FAILED  \] [0-9]+ tests?' "$log" | while read -r line; do echo "$line"; done
  # The Python suites (end to end, packages), their counts together.
  suites=$(grep -c -E '^Ran [0-9]+ tests? in' "$log" || true)
  if [ "$suites" -gt 0 ]; then
    ran=$(grep -E '^Ran [0-9]+ tests? in' "$log" | awk '{n += $2} END {print n}')
    note "windows (wine) end to end and packages: $ran tests in $suites suites, $(grep -c -E '^OK' "$log" || true) suites OK"
  fi
fi

echo
echo "== summary$summary"
exit $failed
