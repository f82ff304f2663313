#!/bin/sh
# Prepares the wine prefix $WINEPREFIX for Calvoro Record:
#   - creates it (wineboot) when it does not exist yet;
#   - has wine draw Chinese with the WenQuanYi Micro Hei font (Debian package
#     fonts-wqy-microhei): Windows draws its dialog fonts and Arial with SimSun
#     for Chinese characters, a font wine does not have, so without this the
#     window's Chinese texts are boxes;
#   - waits until the prefix's wineserver has ended, so that the registry is on
#     disk and the prefix can be copied.
#
#   WINEPREFIX=<folder> ./scripts/wine-prefix.sh
#
# Every flow that starts the program under wine runs this first. A prefix that
# is ready (the marker file below holds this script's settings) is left as it
# is, so a second run costs nothing. What wine prints while the prefix is made
# goes to $WINEPREFIX/prepare.log, not to the terminal: wineboot also sets up the
# 32-bit half of a 64-bit prefix by starting syswow64\rundll32.exe, which
# cannot start without Debian's wine32 package ("failed to open ...
# rundll32.exe: c0000135"); the program is 64-bit and needs nothing of it.
set -eu

if [ -z "${WINEPREFIX:-}" ]; then
  echo "usage: WINEPREFIX=<folder> $0" >&2
  exit 1
fi
case $WINEPREFIX in
  /*) ;;
  *) WINEPREFIX=$(pwd)/$WINEPREFIX ;;
esac
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No download prompts for wine's .NET and HTML engines, which nothing here uses.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

font_name="WenQuanYi Micro Hei"
font_file=wqy-microhei.ttc
settings="SimSun=$font_name; Arial links $font_file,$font_name"
marker=$WINEPREFIX/.calvoro-prefix
# After an upgrade of wine, the first program started in a prefix made by an
# older wine brings it up to date first, printing the same lines as wineboot
# (wine notes the time of its wine.inf in the prefix's .update-timestamp): the
# update is done here, into the log.
outdated=no
inf=/usr/share/wine/wine.inf
stamp=$WINEPREFIX/.update-timestamp
if [ -f "$inf" ] && [ -f "$stamp" ]; then
  noted=$(tr -d '\r\n' < "$stamp")  # wine writes it with CR LF
  if [ "$noted" != disable ] && [ "$noted" != "$(stat -c %Y "$inf")" ]; then
    outdated=yes
  fi
fi
if [ -f "$marker" ] && [ "$(cat "$marker")" = "$settings" ] && [ -f "$WINEPREFIX/system.reg" ] &&
  [ $outdated = no ]; then
  exit 0
fi

if ! fc-list 2> /dev/null | grep -q "$font_name"; then
  echo "wine-prefix.sh: the font $font_name is missing (./scripts/install-deps.sh installs fonts-wqy-microhei);" \
    "Chinese texts show as boxes until it is installed" >&2
fi

mkdir -p "$WINEPREFIX"
log=$WINEPREFIX/prepare.log
: > "$log"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-prefix.sh: creating the wine prefix $WINEPREFIX (once, a few seconds)"
  # The .NET and HTML engines stay out whatever the caller's overrides say:
  # their installers would wait for a download that cannot come.
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree,mshtml=" timeout 600 wineboot -i >> "$log" 2>&1 || {
    echo "wine-prefix.sh: wineboot failed; see $log" >&2
    exit 1
  }
elif [ $outdated = yes ]; then
  echo "wine-prefix.sh: bringing the wine prefix $WINEPREFIX up to date with this wine"
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree,mshtml=" timeout 600 wineboot -u >> "$log" 2>&1 || {
    echo "wine-prefix.sh: wineboot failed; see $log" >&2
    exit 1
  }
fi

registry() {  # reg add <arguments>, its output to the log
  if ! wine reg add "$@" /f >> "$log" 2>&1; then
    echo "wine-prefix.sh: wine reg add $* failed; see $log" >&2
    exit 1
  fi
}
registry 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d "$font_name"
registry 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Arial \
  /t REG_MULTI_SZ /d "$font_file,$font_name"

# The wineserver ends a few seconds after its last program and writes the
# registry to disk then. Programs of the prefix that are still running (a
# recorder started before) keep it, and are left alone: the values are in
# force for every program started from now on all the same.
if ! timeout 120 wineserver -w 2>> "$log"; then
  echo "wine-prefix.sh: programs still run in $WINEPREFIX; its registry is written to disk when they end" >&2
fi
printf '%s' "$settings" > "$marker"
