#!/bin/sh
# Screenshots for docs/, taken under wine on a virtual display:
#  - the skinned controls: the test window that holds every control in every
#    state, with the help menu open, at 96 and at 144 DPI
#    (docs/skin-controls-96dpi.png, docs/skin-controls-144dpi.png);
#  - the settings dialog (both pages), the about box and the recordings
#    window in both languages at 96 DPI (docs/settings-dialog-<chs|cht>.png,
#    docs/settings-rules-<chs|cht>.png, docs/about-dialog-<chs|cht>.png,
#    docs/recordings-window-<chs|cht>.png);
#  - the audio source dialog, opened from the settings dialog by a click on
#    its button, with this computer's sound chosen by a click, in both
#    languages (docs/sound-dialog-<chs|cht>.png);
#  - the main window of the real CalvoroRecord.exe on a wine desktop with its
#    taskbar and tray, driven by the simulated client through its states, in
#    Simplified and in Traditional Chinese (docs/main-<state>-<chs|cht>.png).
#
#   ./scripts/screenshots.sh [controls|dialogs|main|main-chs|main-cht|main-sound]   all, or those named
#
# Builds what it needs of the Windows tree, build/windows or the folder in
# $CALVORO_BUILD_DIR, and writes the pictures into docs/ or the folder in
# $CALVORO_SHOTS_DIR. Each DPI has a wine prefix of its own beside the build's
# (<build>/wineprefix-<dpi>dpi).
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
build=${CALVORO_BUILD_DIR:-$top/build/windows}
shots=${CALVORO_SHOTS_DIR:-$top/docs}
case $build in /*) ;; *) build=$top/$build ;; esac
case $shots in /*) ;; *) shots=$top/$shots ;; esac
export CALVORO_BUILD_DIR="$build" CALVORO_SHOTS_DIR="$shots"

what=${1:-all}
if [ "${2:-}" != "--on-display" ]; then
  ./scripts/install-deps.sh
  # What only the screenshots need: the capture tools and the pointer.
  for p in imagemagick xdotool; do
    if ! dpkg-query -W -f='${Status}' $p 2>/dev/null | grep -q "install ok installed"; then
      DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $p
    fi
  done
  cmake --preset windows -B "$build" > /dev/null
  cmake --build "$build" -j2 --target skin_showcase dialog_showcase CalvoroRecord SimSkype
  mkdir -p "$shots"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$what" --on-display
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bin=$build/bin

prepare_prefix() {  # <dpi> [<name>]
  export WINEPREFIX="$build/wineprefix-${2:-$1dpi}"
  if [ ! -d "$WINEPREFIX" ] && [ -f "$build/wineprefix/system.reg" ]; then
    cp -a "$build/wineprefix" "$WINEPREFIX"
  fi
  # Made if missing, with the font for the Chinese texts.
  "$top/scripts/wine-prefix.sh"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f > /dev/null 2>&1
  if [ -n "${2:-}" ]; then
    # Every program of this prefix runs on one wine desktop with a taskbar
    # and a tray, in the display's top left corner.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shots /f > /dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shots /t REG_SZ /d 1024x768 /f > /dev/null 2>&1
  else
    # No window manager here: see scripts/wine-exec.
    # (Not $program: shoot() has set that to the program it runs.)
    for showcase in skin_showcase.exe dialog_showcase.exe; do
      wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$showcase\\X11 Driver" /v Managed /t REG_SZ /d N /f \
        > /dev/null 2>&1
    done
  fi
  # The registry is written; what the writes started (device services that do
  # not always end by themselves here) goes too.
  wineserver -k 2> /dev/null || true
  wineserver -w
}

# Runs a showcase program, which writes the screen rectangle to show into its
# ready file and ends when its quit file appears, and crops the screen to it.
shoot() {  # <dpi> <png> <program> [arguments before the ready and quit files...]
  dpi=$1
  png=$2
  program=$3
  shift 3
  prepare_prefix "$dpi"
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

# The audio source dialog: the settings dialog of dialog_showcase.exe, its
# button clicked, then the choice of this computer's sound clicked. The
# points to click are found from the templates' dialog units (the settings
# dialog is 367 x 285 units, the audio source dialog 320 x 262) and the
# windows' sizes on the screen.
shoot_sound_dialog() {  # <png> <Language_Select> <section>
  prepare_prefix 96
  work=$(mktemp -d)
  wine "$bin/dialog_showcase.exe" settings "$2" "Z:$work/ready" "Z:$work/quit" &
  waited=0
  until [ -s "$work/ready" ]; do
    waited=$((waited + 1))
    [ $waited -le 600 ] || { echo "the settings dialog did not get ready" >&2; touch "$work/quit"; exit 1; }
    sleep 0.1
  done
  # shellcheck disable=SC2046
  set -- "$1" "$2" "$3" $(tr -d '\r' < "$work/ready")
  # The button's left part, at (243, 96) units.
  xdotool mousemove $(($4 + ($6 - $4) * 243 / 367 + 20)) $(($5 + ($7 - $5) * 96 / 285 + 10)) click 1
  title=$(language_text "$3" Sound_Dialog_Title)
  waited=0
  until window=$(xdotool search --onlyvisible --name "^$title\$" 2> /dev/null | head -n 1) && [ -n "$window" ]; do
    waited=$((waited + 1))
    [ $waited -le 300 ] || { echo "the audio source dialog did not open" >&2; touch "$work/quit"; exit 1; }
    sleep 0.1
  done
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The choice of this computer's sound, at (25, 41) units, 11 units tall.
  xdotool mousemove $((X + WIDTH * 25 / 320 + 6)) $((Y + HEIGHT * 46 / 262)) click 1
  # The pointer away from every control, the dialog painted with the
  # controls enabled (nothing to wait on from here: the picture is looked at).
  xdotool mousemove 1270 1010
  sleep 1
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$1"
  touch "$work/quit"
  wait
  wineserver -w
  rm -rf "$work"
  echo "wrote $1"
}

# A text of the program's language file (UTF-16): language_text <section> <key>
language_text() {
  iconv -f UTF-16 -t UTF-8 "$bin/Language/Language.ini" | tr -d '\r' |
    awk -v section="[$1]" -v key="$2" '$0 == section {inside = 1; next} /^\[/ {inside = 0}
      inside && index($0, key "=") == 1 {print substr($0, length(key) + 2); exit}'
}

win() { echo "Z:$1" | tr / '\\'; }

# A copy of the program in /tmp/Calvoro/Program (the record folder's name
# shows in the pictures), with its settings: the language, further lines of
# [Setting] (CRLF-ended), WAV recordings into /tmp/Calvoro/Records.
copy_program() {  # <Language_Select> <further settings>
  prepare_prefix 96 desktop
  work=/tmp/Calvoro
  rm -rf "$work"
  prog="$work/Program"
  mkdir -p "$prog" "$work/Records" "$work/sim" "$work/client"
  cp "$bin/CalvoroRecord.exe" "$bin"/*.dll "$prog/"
  cp -r "$bin/Language" "$bin/Image" "$prog/"
  printf "[Setting]\r\nLanguage_Select=%s\r\n$2RecordFormat=16\r\nWavePath=%s\r\n" \
    "$1" "$(win "$work/Records")" > "$prog/Config.ini"
}

# Starts the copy and waits for its window and its first checks.
start_copy() {
  wine "$prog/CalvoroRecord.exe" > /dev/null 2>&1 &
  recorder=$!
  waited=0
  until wine "$bin/SimSkype.exe" --recorder-state > /dev/null 2>&1; do
    waited=$((waited + 1))
    [ $waited -lt 120 ] || { echo "CalvoroRecord.exe did not start" >&2; exit 1; }
    sleep 0.5
  done
  sleep 2  # the first client (or source) and folder checks
}

# The copy ends as a user ends it: Exit (here WM_USER+6).
exit_copy() {
  printf 'attach none\npost-recorder 1030\n' > "$work/sim/exit.scenario"
  wine "$bin/SimSkype.exe" --dir "$(win "$work/sim")" "$(win "$work/sim/exit.scenario")" > /dev/null 2>&1
  wait $recorder || true
  wineserver -k 2> /dev/null || true
  wineserver -w
  rm -rf "$work"
}

# The main window: one run of the program per language, the simulated client
# (installed as skype.exe, so the program finds it) playing a scenario that
# stops at each state until its picture is taken.
main_window() {  # <Language_Select> <chs|cht>
  copy_program "$1" 'ShowStatusOnTray=1\r\n'
  wine "$bin/SimSkype.exe" --install "$(win "$work/client")" > /dev/null 2>&1
  start_copy
  picture() {  # <state>
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop 1024x768+0+0 +repage "$shots/main-$1-$2.png"
    echo "wrote $shots/main-$1-$2.png"
  }
  picture idle "$2"
  cat > "$work/sim/shots.scenario" <<'SCENARIO'
user alice
attach 0
timeout 120000
hide-windows
partner 1 bob
partner 2 carol
partner 3 dave
partner 4 erin
wait attach
sleep 1500
signal attached.ready
wait-file attached.done
call 1 INPROGRESS
wait command GET CALL 1 PARTNER_HANDLE
sleep 500
call 2 INPROGRESS
wait command GET CALL 2 PARTNER_HANDLE
sleep 500
call 3 INPROGRESS
wait command GET CALL 3 PARTNER_HANDLE
sleep 500
press 1003
sleep 2500
signal recording-3.ready
wait-file recording-3.done
call 4 INPROGRESS
wait command GET CALL 4 PARTNER_HANDLE
sleep 1500
signal recording-4.ready
wait-file recording-4.done
press 1004
sleep 1500
signal paused.ready
wait-file paused.done
press 1003
sleep 500
# The writers held: Stop shows the recording being finished.
hold-recorder-threads
press 1005
sleep 1500
signal finishing.ready
wait-file finishing.done
release-recorder-threads
sleep 2000
signal saved.ready
wait-file saved.done
press 1009
sleep 1000
signal option-menu.ready
wait-file option-menu.done
post-recorder 1525 128 517
sleep 1000
signal tray-menu.ready
wait-file tray-menu.done
signal write-failed.prepare
wait-file write-failed.go
press 1003
sleep 1500
signal write-failed.ready
wait-file write-failed.done
exit 0
SCENARIO
  wine "$work/client/skype.exe" --dir "$(win "$work/sim")" "$(win "$work/sim/shots.scenario")" > /dev/null 2>&1 &
  client=$!
  for state in attached recording-3 recording-4 paused finishing saved option-menu tray-menu write-failed; do
    case $state in
      # The menu opens at the pointer, here on the taskbar beside the icon (on
      # the icon its tip would cover the menu).
      tray-menu) xdotool mousemove 985 757 ;;
      write-failed)
        # A file takes the record folder's place: the next recording can make
        # neither the folder nor its stream files.
        waited=0
        until [ -f "$work/sim/write-failed.prepare" ]; do sleep 0.1; waited=$((waited + 1)); [ $waited -lt 1200 ] || exit 1; done
        rm -rf "$work/Records"
        : > "$work/Records"
        touch "$work/sim/write-failed.go"
        ;;
    esac
    waited=0
    until [ -f "$work/sim/$state.ready" ]; do
      sleep 0.1
      waited=$((waited + 1))
      [ $waited -lt 1200 ] || { echo "the scenario did not reach $state" >&2; cat "$work/sim/events.log" >&2; exit 1; }
    done
    if [ $state = saved ]; then
      # The saved recording's balloon, which names the file.
      section=$( [ "$2" = chs ] && echo Chs || echo Cht )
      prefix=$(language_text "$section" Record_Saved_Balloon)
      prefix=${prefix%%%s*}
      waited=0
      until wine "$bin/SimSkype.exe" --tray-balloon 2> /dev/null | grep -q "^$prefix"; do
        waited=$((waited + 1))
        [ $waited -le 100 ] || { echo "the tray did not show the saved recording's balloon" >&2; exit 1; }
        sleep 0.1
      done
    fi
    if [ $state = write-failed ]; then
      # The shell shows a balloon a while after it is asked for (wine's tray:
      # 2 s, and each new request starts that wait again): the picture waits
      # until the tray shows the failure's own balloon.
      section=$( [ "$2" = chs ] && echo Chs || echo Cht )
      expected=$(language_text "$section" Error_Message_1)
      waited=0
      until [ "$(wine "$bin/SimSkype.exe" --tray-balloon 2> /dev/null)" = "$expected" ]; do
        waited=$((waited + 1))
        if [ $waited -gt 100 ]; then
          echo "the tray did not show the write failure's balloon \"$expected\"; it shows:" >&2
          wine "$bin/SimSkype.exe" --tray-balloon >&2 2> /dev/null
          exit 1
        fi
        sleep 0.1
      done
    fi
    picture "$state" "$2"
    case $state in *-menu) xdotool key Escape ;; esac
    touch "$work/sim/$state.done"
  done
  wait $client || true
  wine "$bin/SimSkype.exe" --uninstall > /dev/null 2>&1
  exit_copy
}

# The main window with the computer's sound as the source, idle: the client's
# line names the source and the hotkey, the client's button is gone.
main_sound() {  # <Language_Select> <chs|cht>
  copy_program "$1" 'CaptureSource=1\r\n'
  start_copy
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop 1024x768+0+0 +repage "$shots/main-sound-$2.png"
  echo "wrote $shots/main-sound-$2.png"
  exit_copy
}

if [ "$what" = all ] || [ "$what" = controls ]; then
  shoot 96 "$shots/skin-controls-96dpi.png" skin_showcase.exe
  shoot 144 "$shots/skin-controls-144dpi.png" skin_showcase.exe
fi
if [ "$what" = all ] || [ "$what" = dialogs ]; then
  for language in 0 1; do
    name=$( [ $language = 0 ] && echo chs || echo cht )
    shoot 96 "$shots/settings-dialog-$name.png" dialog_showcase.exe settings $language
    shoot 96 "$shots/about-dialog-$name.png" dialog_showcase.exe about $language
    shoot 96 "$shots/settings-rules-$name.png" dialog_showcase.exe rules $language
    shoot 96 "$shots/recordings-window-$name.png" dialog_showcase.exe recordings $language
    shoot_sound_dialog "$shots/sound-dialog-$name.png" $language "$( [ $language = 0 ] && echo Chs || echo Cht )"
  done
fi
if [ "$what" = main-sound ]; then
  main_sound 0 chs
  main_sound 1 cht
elif [ "$what" = all ] || [ "${what#main}" != "$what" ]; then
  [ "$what" = main-cht ] || main_window 0 chs
  [ "$what" = main-chs ] || main_window 1 cht
  [ "$what" = main-cht ] || main_sound 0 chs
  [ "$what" = main-chs ] || main_sound 1 cht
fi
