#!/bin/sh
# Installs, with apt-get, the Debian packages that the builds, the tests and the
# demo need, when any of them is missing. Run as root on Debian 12.
#
# The Windows build compiles its encoding libraries from Debian's source
# packages (scripts/build-codecs.sh, with apt-get source), which needs a
# deb-src entry: when the machine's apt sources have none, one is made from
# the archive they already use.
set -eu

packages="cmake make g++ clang-14 libclang-rt-14-dev googletest libbenchmark-dev \
mingw-w64 wine wine64 xvfb xauth x11-utils \
sox lame flac vorbis-tools ffmpeg python3 procps \
python3-pil fonts-dejavu-core fonts-wqy-microhei nsis pulseaudio pulseaudio-utils \
dpkg-dev pkg-config libmp3lame-dev libogg-dev libvorbis-dev libflac-dev libopus-dev libopusenc-dev opus-tools"

apt_sources=/etc/apt/sources.list
apt_parts=/etc/apt/sources.list.d
deb_src=$apt_parts/calvoro-deb-src.sources

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done

# The files apt reads: sources.list and the .list and .sources files beside it.
have_deb_src() {
  for f in "$apt_sources" "$apt_parts"/*.list "$apt_parts"/*.sources; do
    [ -f "$f" ] && grep -qs '^Types:.*deb-src\|^deb-src ' "$f" && return 0
  done
  return 1
}

need_deb_src=no
have_deb_src || need_deb_src=yes
[ -z "$missing" ] && [ $need_deb_src = no ] && exit 0

if [ "$(id -u)" != 0 ]; then
  [ -n "$missing" ] && echo "Missing packages:$missing" >&2
  [ $need_deb_src = yes ] && echo "No deb-src entry in the apt sources (apt-get source needs one)." >&2
  echo "Run this script as root (it installs them with apt-get)." >&2
  exit 1
fi

added=no
if [ $need_deb_src = yes ]; then
  # The same archives, suites, components and keys as the binary packages:
  # Debian's deb822 file with its types made deb-src, or else the classic
  # deb lines of sources.list as deb-src lines.
  if [ -f "$apt_parts/debian.sources" ] && grep -q '^Types:.*\bdeb\b' "$apt_parts/debian.sources"; then
    sed 's/^Types:.*/Types: deb-src/' "$apt_parts/debian.sources" > "$deb_src.tmp"
    mv "$deb_src.tmp" "$deb_src"
    echo "Added $deb_src (deb-src of $apt_parts/debian.sources)"
    added=yes
  elif grep -qs '^deb ' "$apt_sources"; then
    deb_src=$apt_parts/calvoro-deb-src.list
    sed -n 's/^deb /deb-src /p' "$apt_sources" > "$deb_src.tmp"
    mv "$deb_src.tmp" "$deb_src"
    echo "Added $deb_src (deb-src of the deb lines of $apt_sources)"
    added=yes
  else
    echo "No Debian archive found in $apt_parts/debian.sources or $apt_sources to make a deb-src entry from;" \
      "scripts/build-codecs.sh (the Windows build) needs one for apt-get source." >&2
  fi
fi

export DEBIAN_FRONTEND=noninteractive
if [ -n "$missing" ] || [ $added = yes ]; then
  apt-get update -q
fi
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
fi
