#!/bin/sh
# Screenshots for docs/, taken under wine on a virtual display:
#   - the test window that holds every skinned control in every state, with the
#     help menu open, at 96 and at 144 DPI (docs/skin-controls-<dpi>dpi.png);
#   - the settings dialog and the about box in both languages at 96 DPI
#     (docs/settings-dialog-<chs|cht>.png, docs/about-dialog-<chs|cht>.png).
#
#   ./scripts/screenshots.sh
#
# Builds the Windows tree's skin_showcase.exe and dialog_showcase.exe if they
# are missing. Each DPI has a wine prefix of its own beside the build's
# (build/windows/wineprefix-<dpi>dpi).
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

if [ "${1:-}" != "--on-display" ]; then
  ./scripts/install-deps.sh
  # What only the screenshots need: the capture tools.
  if ! dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends imagemagick
  fi
  if [ ! -f build/windows/bin/skin_showcase.exe ] || [ ! -f build/windows/bin/dialog_showcase.exe ]; then
    cmake --preset windows > /dev/null
    cmake --build build/windows -j2 --target skin_showcase dialog_showcase
  fi
  mkdir -p docs
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --on-display
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bin=$top/build/windows/bin

# Runs a showcase program, which writes the screen rectangle to show into its
# ready file and ends when its quit file appears, and crops the screen to it.
shoot() {  # <dpi> <png> <program> [arguments before the ready and quit files...]
  dpi=$1
  png=$2
  program=$3
  shift 3
  export WINEPREFIX="$top/build/windows/wineprefix-${dpi}dpi"
  if [ ! -d "$WINEPREFIX" ]; then
    if [ -d "$top/build/windows/wineprefix" ]; then
      cp -a "$top/build/windows/wineprefix" "$WINEPREFIX"
    else
      timeout 600 wineboot -i > /dev/null 2>&1 || true
    fi
  fi
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
  # Windows links its dialog fonts and Arial to SimSun for Chinese; here that
  # is the WenQuanYi font.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d "WenQuanYi Micro Hei" /f \
    > /dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Arial \
    /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f > /dev/null 2>&1
  # No window manager here: see scripts/wine-exec.
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" /v Managed /t REG_SZ /d N /f \
    > /dev/null 2>&1
  wineserver -w
  work=$(mktemp -d)
  wine "$bin/$program" "$@" "Z:$work/ready" "Z:$work/quit" &
  waited=0
  while [ ! -s "$work/ready" ]; do
    waited=$((waited + 1))
    if [ $waited -gt 600 ]; then
      echo "$program $* did not get ready at $dpi DPI" >&2
      touch "$work/quit"
      exit 1
    fi
    sleep 0.1
  done
  # shellcheck disable=SC2046
  set -- $(tr -d '\r' < "$work/ready")
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$(($3 - $1))x$(($4 - $2))+$1+$2" +repage "$png"
  touch "$work/quit"
  wait
  wineserver -w
  rm -rf "$work"
  echo "wrote $png"
}

shoot 96 "$top/docs/skin-controls-96dpi.png" skin_showcase.exe
shoot 144 "$top/docs/skin-controls-144dpi.png" skin_showcase.exe
for language in 0 1; do
  name=$( [ $language = 0 ] && echo chs || echo cht )
  shoot 96 "$top/docs/settings-dialog-$name.png" dialog_showcase.exe settings $language
  shoot 96 "$top/docs/about-dialog-$name.png" dialog_showcase.exe about $language
done
