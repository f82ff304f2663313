#!/bin/sh
# The demo: CalvoroRecord.exe, under wine on a virtual display, records one call
# of a few seconds placed by the simulated client, with a different signal for
# the far end and the microphone, and encodes it to MP3 with its built-in
# encoder (the WAV is kept). Prints where the output files are, with their format and length.
# With --sound it records the computer's own sound instead (the way any call
# app is recorded): a private PulseAudio server plays a tone to the speakers and
# another into the microphone, and Record and Stop are pressed by hand.
# Run as root on Debian 12: it installs what is missing with apt-get.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

./scripts/install-deps.sh

echo "== building the encoding libraries, CalvoroRecord.exe and the simulated client (about six minutes the first time)"
cmake --preset windows > /dev/null
# The build's progress, one line per finished part; the whole output goes to
# the log. make says "[ n%] Built target <part>" for each part a target needs,
# and again for every further target on the command line that needs it too
# (its percentages start anew with each): each part is named once.
log=build/windows.demo-build.log
status_file=build/windows.demo-build.status
{
  cmake --build build/windows -j"$(nproc)" --target CalvoroRecord SimSkype calvoro_data 2>&1
  echo $? > "$status_file"
} | tee "$log" | {
  built=" "
  while IFS= read -r line; do
    case $line in
      \[*\]" Built target "*)
        part=${line##* }
        case $built in
          *" $part "*) ;;
          *)
            built="$built$part "
            echo "   built $part"
            ;;
        esac
        ;;
    esac
  done
}
if [ "$(cat "$status_file")" != 0 ]; then
  tail -n 40 "$log"
  exit 1
fi

export WINEPREFIX="$top/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
./scripts/wine-prefix.sh

echo "== recording"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" python3 tools/driver/run_demo.py build/windows/bin build/demo "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
