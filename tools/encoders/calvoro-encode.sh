#!/bin/sh
# Runs a Debian encoder behind the Windows encoder name that the recorder
# starts, with the same arguments:
#   lame.exe     -> lame             (lame.exe -h "x.wav" "x.mp3")
#   oggenc2.exe  -> oggenc           (oggenc2.exe -q 10 "x.wav", writes x.ogg)
#   flac.exe     -> flac             (flac.exe -8 "x.wav", writes x.flac)
#   Wav2Wma.exe  -> ffmpeg -c:a wmav2 (Wav2Wma.exe -i "x.wav" -o "x.wma")
#
# Natively a copy of this script sits beside the programs under each of those
# names. Under wine a Unix program started by CreateProcessW cannot be waited
# for, so there the names belong to a small Windows program (the bridge) that
# starts this script as
#   calvoro-encode.sh --bridge <name> <done file> <arguments...>
# and waits until the script has written the encoder's exit code to the done
# file. Paths may arrive as Windows paths (Z:\tmp\x.wav, C:\users\...): they
# are mapped back to file system paths.
set -u

done_file=""
if [ "${1:-}" = "--bridge" ]; then
  name=$2
  done_file=$3
  shift 3
else
  name=$(basename "$0")
fi

to_unix() {
  case "$1" in
    [Zz]:\\* | [Zz]:/*) printf '%s' "${1#??}" | tr '\\' '/' ;;
    [A-Za-z]:\\* | [A-Za-z]:/*) winepath -u "$1" 2>/dev/null || printf '%s' "$1" | tr '\\' '/' ;;
    *\\*) printf '%s' "$1" | tr '\\' '/' ;;
    *) printf '%s' "$1" ;;
  esac
}

count=$#
for arg; do
  set -- "$@" "$(to_unix "$arg")"
done
shift "$count"
[ -n "$done_file" ] && done_file=$(to_unix "$done_file")

run_wav2wma() {
  input=""
  output=""
  while [ $# -gt 0 ]; do
    case "$1" in
      -i) input=${2:-}; shift 2 || shift ;;
      -o) output=${2:-}; shift 2 || shift ;;
      *) shift ;;
    esac
  done
  [ -n "$input" ] && [ -n "$output" ] || return 2
  ffmpeg -nostdin -loglevel error -y -i "$input" -c:a wmav2 -f asf "$output"
}

case $(printf '%s' "$name" | tr 'A-Z' 'a-z') in
  lame.exe) lame "$@" ;;
  oggenc2.exe) oggenc "$@" ;;
  flac.exe) flac "$@" ;;
  wav2wma.exe) run_wav2wma "$@" ;;
  *) echo "calvoro-encode.sh: unknown encoder name $name" >&2; false ;;
esac
code=$?
# Tests read which encoders ran, and with what result.
[ -n "${CALVORO_ENCODE_LOG:-}" ] && printf '%s %s\n' "$name" "$code" >> "$CALVORO_ENCODE_LOG"

if [ -n "$done_file" ]; then
  printf '%s\n' "$code" > "$done_file.part" && mv -f "$done_file.part" "$done_file"
fi
exit "$code"
