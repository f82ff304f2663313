#!/bin/sh
# Installs, with apt-get, the Debian packages that the builds, the tests and the
# demo need, when any of them is missing. Run as root on Debian 12.
set -eu

packages="cmake make g++ clang-14 libclang-rt-14-dev googletest libbenchmark-dev \
mingw-w64 wine wine64 xvfb xauth x11-utils \
sox lame flac vorbis-tools ffmpeg python3 procps \
python3-pil fonts-dejavu-core fonts-wqy-microhei nsis"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "Missing packages:$missing" >&2
  echo "Run this script as root (it installs them with apt-get)." >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
