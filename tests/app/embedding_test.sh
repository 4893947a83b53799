#!/usr/bin/env bash
# The main window embedded in a real foreign X11 window (an xterm under Xvfb): it is a child of
# the host, "&Salir" writes Zandrix.ini beside the executable and the process ends; closing the
# host ends the process too, writing its status; a handle that names no window gives a hosted
# top-level window. Exit 77 (skipped) when Xvfb, xterm or the X tools are missing.
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

# 1. Embedded, "&Salir" clicked.
start_host salir
(cd "$WORK" && exec "$WORK/bin/transzanderxel" importar "$(printf '%X' "$WID")") >"$WORK/app1.log" 2>&1 &
APP_PID=$!
PIDS+=($APP_PID)
CHILD=
for _ in $(seq 100); do CHILD=$(find_child); [ -n "$CHILD" ] && break; sleep 0.1; done
[ -n "$CHILD" ] || { xwininfo -root -tree >&2; cat "$WORK/app1.log"; fail "not a child of the host window"; }
echo "embedded as $CHILD in host $(printf '0x%x' "$WID")"
sleep 0.5
xdotool mousemove --window "$CHILD" 524 262 click 1   # "&Salir": 480,144 in the bottom band, which starts at 0,106
wait_gone "$APP_PID" 10 || { cat "$WORK/app1.log"; fail "the process did not end after &Salir"; }
[ "$(cat "$WORK/bin/Zandrix.ini")" = "$(printf '[Transformadores]\r\nTransformado=0\r')" ] ||
  { od -c "$WORK/bin/Zandrix.ini"; fail "Zandrix.ini after &Salir"; }
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
  TOP=$(xwininfo -root -children 2>/dev/null | awk '/Exportar e importar datos entre Zandrix y XEL/ {print $1; exit}')
  [ -n "$TOP" ] && break
  sleep 0.1
done
[ -n "$TOP" ] || { cat "$WORK/app3.log"; fail "no top-level window for an unknown host"; }
sleep 0.5
xdotool mousemove --window "$TOP" 524 262 click 1
wait_gone "$APP_PID" 10 || fail "the top-level hosted window did not end after &Salir"
[ -f "$WORK/bin/Zandrix.ini" ] || fail "no Zandrix.ini from the top-level hosted window"
echo "embedding: all checks passed"
