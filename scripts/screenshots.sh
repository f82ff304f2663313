#!/bin/sh
# Screenshots of the skinned controls for docs/: the test window that holds
# every control in every state, with the help menu open, taken under wine on a
# virtual display at 96 and at 144 DPI.
#
#   ./scripts/screenshots.sh          writes docs/skin-controls-96dpi.png and
#                                     docs/skin-controls-144dpi.png
#
# Builds the Windows tree's skin_showcase.exe if it is missing. Each DPI has a
# wine prefix of its own beside the build's (build/windows/wineprefix-<dpi>dpi).
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

if [ "${1:-}" != "--on-display" ]; then
  ./scripts/install-deps.sh
  # What only the screenshots need: the capture tools.
  if ! dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends imagemagick
  fi
  if [ ! -f build/windows/bin/skin_showcase.exe ]; then
    cmake --preset windows > /dev/null
    cmake --build build/windows -j2 --target skin_showcase
  fi
  mkdir -p docs
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --on-display
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
showcase=$top/build/windows/bin/skin_showcase.exe

shoot() {  # <dpi> <png>
  export WINEPREFIX="$top/build/windows/wineprefix-$1dpi"
  if [ ! -d "$WINEPREFIX" ]; then
    if [ -d "$top/build/windows/wineprefix" ]; then
      cp -a "$top/build/windows/wineprefix" "$WINEPREFIX"
    else
      timeout 600 wineboot -i > /dev/null 2>&1 || true
    fi
  fi
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f > /dev/null 2>&1
  # Windows links its dialog fonts and Arial to SimSun for Chinese; here that
  # is the WenQuanYi font.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d "WenQuanYi Micro Hei" /f \
    > /dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Arial \
    /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f > /dev/null 2>&1
  # No window manager here: see scripts/wine-exec.
  wine reg add 'HKCU\Software\Wine\AppDefaults\skin_showcase.exe\X11 Driver' /v Managed /t REG_SZ /d N /f \
    > /dev/null 2>&1
  wineserver -w
  work=$(mktemp -d)
  wine "$showcase" "Z:$work/ready" "Z:$work/quit" &
  waited=0
  while [ ! -s "$work/ready" ]; do
    waited=$((waited + 1))
    if [ $waited -gt 600 ]; then
      echo "skin_showcase.exe did not get ready at $1 DPI" >&2
      touch "$work/quit"
      exit 1
    fi
    sleep 0.1
  done
  # shellcheck disable=SC2046
  set -- "$1" "$2" $(tr -d '\r' < "$work/ready")
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$(($5 - $3))x$(($6 - $4))+$3+$4" +repage "$2"
  touch "$work/quit"
  wait
  wineserver -w
  rm -rf "$work"
  echo "wrote $2"
}

shoot 96 "$top/docs/skin-controls-96dpi.png"
shoot 144 "$top/docs/skin-controls-144dpi.png"
