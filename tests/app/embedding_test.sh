#!/usr/bin/env bash
# The main window embedded in a real foreign X11 window (an xterm under Xvfb, with the openbox
# window manager when it is installed): it is a child of the host and has the keyboard without
# a click, so Alt+S ("&Salir") writes Zandrix.ini beside the executable and ends the process; a
# box it shows takes Enter, closes, and the hosted job ends writing its status, with no Qt
# warning about the embedded window; closing the host ends the process too, writing its status;
# a handle that names no window gives a hosted top-level window. Exit 77 (skipped) when Xvfb,
# xterm or the X tools are missing.
set -uo pipefail
APP=$1
for tool in Xvfb xterm xwininfo xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done

WORK=$(mktemp -d /tmp/tz-embed-XXXXXX)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A free display number, chosen by Xvfb itself.
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$WORK/display")
unset QT_QPA_PLATFORM   # the tool must choose xcb by itself when hosted
if command -v openbox >/dev/null; then
  openbox --config-file /dev/null >"$WORK/openbox.log" 2>&1 &
  PIDS+=($!)
  for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
  echo "window manager: openbox"
fi

# The tool writes Zandrix.ini beside its executable: run a copy from the scratch folder.
mkdir "$WORK/bin"
cp "$APP" "$WORK/bin/transzanderxel"
[ -f "$(dirname "$APP")/XEL.CHM" ] && cp "$(dirname "$APP")/XEL.CHM" "$WORK/bin/"

start_host() {  # $1 = name; sets HOST_PID, WID (decimal)
  rm -f "$WORK/wid"
  xterm -geometry 100x30+0+0 -e sh -c "echo \$WINDOWID > '$WORK/wid'; sleep 300" &
  HOST_PID=$!
  PIDS+=($HOST_PID)
  for _ in $(seq 100); do [ -s "$WORK/wid" ] && break; sleep 0.1; done
  [ -s "$WORK/wid" ] || fail "$1: xterm gave no WINDOWID"
  WID=$(cat "$WORK/wid")
}

wait_gone() {  # $1 = pid, $2 = seconds
  for _ in $(seq $(($2 * 10))); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}

find_child() {  # our window among the host's children; prints its id
  xwininfo -id "$WID" -children 2>/dev/null |
    awk '/Exportar e importar datos entre Zandrix y XEL/ {print $1; exit}'
}

# 1. Embedded, Alt+S pressed without any click first.
start_host salir
(cd "$WORK" && exec "$WORK/bin/transzanderxel" importar "$(printf '%X' "$WID")") >"$WORK/app1.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
CHILD=
for _ in $(seq 100); do CHILD=$(find_child); [ -n "$CHILD" ] && break; sleep 0.1; done
[ -n "$CHILD" ] || { xwininfo -root -tree >&2; cat "$WORK/app1.log"; fail "not a child of the host window"; }
echo "embedded as $CHILD in host $(printf '0x%x' "$WID")"
sleep 1
xdotool key alt+s
wait_gone "$APP_PID" 10 || { cat "$WORK/app1.log"; fail "the process did not end after Alt+S"; }
[ "$(cat "$WORK/bin/Zandrix.ini")" = "$(printf '[Transformadores]\r\nTransformado=0\r')" ] ||
  { od -c "$WORK/bin/Zandrix.ini"; fail "Zandrix.ini after Alt+S"; }
kill "$HOST_PID" 2>/dev/null

# 1b. Embedded, the job started from the keyboard on a text folder that has gone: its box
# takes Enter and the hosted window closes with status 0; Qt has nothing to warn about.
rm -f "$WORK/bin/Zandrix.ini"
mkdir -p "$WORK/gone"
start_host box
(cd "$WORK/gone" && exec "$WORK/bin/transzanderxel" importar "$(printf '%X' "$WID")") >"$WORK/app1b.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
CHILD=
for _ in $(seq 100); do CHILD=$(find_child); [ -n "$CHILD" ] && break; sleep 0.1; done
[ -n "$CHILD" ] || fail "the box run is not embedded"
rmdir "$WORK/gone"
sleep 1
xdotool key space   # the job button, the first control of the importar panel
BOX=
for _ in $(seq 100); do
  BOX=$(xwininfo -root -tree 2>/dev/null | awk '/^ *0x[0-9a-f]+ "transZanderXEL":/ {print $1; exit}')
  [ -n "$BOX" ] && break
  sleep 0.1
done
[ -n "$BOX" ] || { cat "$WORK/app1b.log"; fail "no box for the missing text folder"; }
sleep 0.5
xdotool key Return
wait_gone "$APP_PID" 10 || { cat "$WORK/app1b.log"; fail "the process did not end after the box"; }
[ "$(cat "$WORK/bin/Zandrix.ini")" = "$(printf '[Transformadores]\r\nTransformado=0\r')" ] ||
  { od -c "$WORK/bin/Zandrix.ini"; fail "Zandrix.ini after the box"; }
if grep -q "must be a top level window" "$WORK/app1b.log"; then
  cat "$WORK/app1b.log"; fail "Qt warned about the embedded window"
fi
kill "$HOST_PID" 2>/dev/null

# 2. The host window disappears: the tool ends, writing its status, keeping the rest of the file.
printf '[Zandrix]\r\nRuta=C:\\ZTEMP\r\n[Transformadores]\r\nTransformado=1\r\n' >"$WORK/bin/Zandrix.ini"
start_host gone
(cd "$WORK" && exec "$WORK/bin/transzanderxel" EXPORTAR "$(printf '%x' "$WID")") >"$WORK/app2.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
CHILD=
for _ in $(seq 100); do CHILD=$(find_child); [ -n "$CHILD" ] && break; sleep 0.1; done
[ -n "$CHILD" ] || fail "second run not embedded"
kill "$HOST_PID"
wait_gone "$APP_PID" 10 || { cat "$WORK/app2.log"; fail "the process did not end with its host"; }
[ "$(cat "$WORK/bin/Zandrix.ini")" = "$(printf '[Zandrix]\r\nRuta=C:\\ZTEMP\r\n[Transformadores]\r\nTransformado=0\r')" ] ||
  { od -c "$WORK/bin/Zandrix.ini"; fail "Zandrix.ini after the host went away"; }

# 3. A handle that names no window: hosted, shown top-level, status written on closing.
rm -f "$WORK/bin/Zandrix.ini"
(cd "$WORK" && exec "$WORK/bin/transzanderxel" importar 7FFFFF0) >"$WORK/app3.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
TOP=
for _ in $(seq 100); do
  # Under a window manager the top-level window sits inside its frame: look through the tree.
  TOP=$(xwininfo -root -tree 2>/dev/null | awk '/Exportar e importar datos entre Zandrix y XEL/ {print $1; exit}')
  [ -n "$TOP" ] && break
  sleep 0.1
done
[ -n "$TOP" ] || { cat "$WORK/app3.log"; fail "no top-level window for an unknown host"; }
sleep 0.5
xdotool mousemove --window "$TOP" 524 262 click 1
wait_gone "$APP_PID" 10 || fail "the top-level hosted window did not end after &Salir"
[ -f "$WORK/bin/Zandrix.ini" ] || fail "no Zandrix.ini from the top-level hosted window"
echo "embedding: all checks passed"
